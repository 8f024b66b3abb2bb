#include "app/displaycheck.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// The platform plugins Qt will try, as "-platform" or QT_QPA_PLATFORM name them: a list split
// at ";", each with its options after ":" left out.
std::string platformList(int argc, const char *const *argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    }
    return environment("QT_QPA_PLATFORM");
}

// As Qt's xcb plugin connects, with its own library, so that authorisation counts too. Left
// loaded: the plugin loads it again at once.
bool xServerAnswers()
{
    void *xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb)
        return false;
    using Connect = void *(*)(const char *, int *);
    using HasError = int (*)(void *);
    using Disconnect = void (*)(void *);
    const auto xcbConnect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    if (!xcbConnect || !hasError || !disconnect)
        return false;
    void *connection = xcbConnect(nullptr, nullptr); // DISPLAY
    const bool answered = hasError(connection) == 0;
    disconnect(connection);
    return answered;
}

bool waylandAnswers()
{
    const std::string name = environment("WAYLAND_DISPLAY");
    if (name.empty())
        return false;
    const std::string path =
        name.front() == '/' ? name : environment("XDG_RUNTIME_DIR") + '/' + name;
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answered =
        fd >= 0 && connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return answered;
}

} // namespace

std::string missingDisplay(int argc, const char *const *argv)
{
    std::string list = platformList(argc, argv);
    // Qt's own choice between the two, from the session type: either will do.
    if (list.empty())
        list = "xcb;wayland";
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string entry = list.substr(start, end - start);
        const std::string name = entry.substr(0, entry.find(':'));
        start = end + 1;
        if (name.empty())
            continue;
        if (name == "xcb") {
            if (!environment("DISPLAY").empty() && xServerAnswers())
                return std::string();
        } else if (name.compare(0, 7, "wayland") == 0) {
            if (waylandAnswers())
                return std::string();
        } else {
            return std::string(); // offscreen, minimal, eglfs...: no display server to ask
        }
    }
    const std::string x = environment("DISPLAY"), wayland = environment("WAYLAND_DISPLAY");
    if (x.empty() && wayland.empty())
        return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    std::string reason = "no display:";
    if (!x.empty())
        reason += " cannot open the X display \"" + x + '"';
    if (!wayland.empty())
        reason += std::string(x.empty() ? "" : ",") + " cannot reach the Wayland display \"" +
                  wayland + '"';
    return reason;
}
