#!/usr/bin/python3
"""Reads an application's window over AT-SPI as a screen reader does, and presses a button
through its accessible action. Run it inside a private session bus (dbus-run-session).

    screenreader.py <application name> <button name> <seconds> <program> [arguments...]

Starts the session's accessibility bus, then the program. When the button shows up enabled, it
prints the window's accessible tree (one "role | name | value" line per object, behind ". " per
level), presses the button, and after a moment prints the events it heard up to then
("event <type> | <role> | <name> | <text>") and "pressed", waits for the program to end, prints
"exit <code>" and exits 0. Exits 1 when the button did not show up in time, 2 when the
accessibility bus did not start (printing "no accessibility bus").
"""
import os
import subprocess
import sys
import time

from gi.repository import Gio, GLib

application, button, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
heard = []

# The launcher reads its settings schemas from the system's data folders, not the sandbox's.
for launcher in ("/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"):
    if os.access(launcher, os.X_OK):
        subprocess.Popen([launcher, "--launch-immediately"],
                         env=dict(os.environ, XDG_DATA_DIRS="/usr/local/share:/usr/share"))
        break

# pyatspi connects when imported, and a session bus that starts the launcher itself because it
# is not there yet gets nothing: wait for the one the test started.
session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
for attempt in range(100):
    owned = session.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "NameHasOwner",
                              GLib.Variant("(s)", ("org.a11y.Bus",)), None,
                              Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
    if owned:
        break
    time.sleep(0.1)
else:
    print("no accessibility bus", flush=True)
    sys.exit(2)

import pyatspi  # noqa: E402


def describe(node):
    value = ""
    try:
        value = "%g" % node.queryValue().currentValue
    except NotImplementedError:
        pass
    return "%s | %s | %s" % (node.getRoleName(), node.name, value)


def listen(event):
    try:  # the application may be gone by now
        source = event.source
        if source is None or source.getApplication().name != application:
            return
        role, name = source.getRoleName(), source.name
    except Exception:
        return
    text = event.any_data if isinstance(event.any_data, str) else ""
    heard.append("event %s | %s | %s | %s" % (event.type, role, name,
                                               text.replace("\n", " ").strip()))


def walk(node, depth, lines, found):
    lines.append(". " * depth + describe(node))
    if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.name == button and \
            node.getState().contains(pyatspi.STATE_SENSITIVE):
        found.append(node)
    for child in node:
        if child is not None:
            walk(child, depth + 1, lines, found)


def look():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None or app.name != application:
            continue
        lines, found = [], []
        walk(app, 0, lines, found)
        if found:
            print("\n".join(lines), flush=True)
            found[0].queryAction().doAction(0)
            GLib.timeout_add(1500, finish)
            return False
    return True


def finish():
    for line in heard:
        print(line)
    print("pressed", flush=True)
    pyatspi.Registry.stop()
    print("exit %d" % program.wait(timeout=30), flush=True)
    return False


def give_up():
    print("no enabled \"%s\" in %s" % (button, application), flush=True)
    pyatspi.Registry.stop()
    sys.exit(1)


pyatspi.Registry.registerEventListener(listen, "object:text-changed:insert",
                                       "object:property-change:accessible-name")
program = subprocess.Popen(sys.argv[4:])
GLib.timeout_add(200, look)
GLib.timeout_add(int(seconds * 1000), give_up)
pyatspi.Registry.start()
