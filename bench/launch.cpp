// bench_launch: starts one program and reports what it cost, as key=value lines on stdout.
//
//   bench_launch [--map] [--settle MS] [--rss] [--ready] [--term] [--timeout MS] -- PROGRAM ARGS
//
//   --map        wait for the X server's MapNotify of a top-level window of the program (its
//                _NET_WM_PID is the child's pid) and print map_ms, the time from just before
//                fork() to that event. Event-driven: the root window's SubstructureNotify events
//                are selected before the program starts, so nothing polls.
//   --settle MS  then wait MS milliseconds
//   --rss        then print rss_kib (VmRSS) and pss_kib of the program
//   --ready      then print pid=N and ready=1 and flush (for a script that waits for it)
//   --term       then send SIGTERM
//   --timeout MS kill the program after MS milliseconds (default 120000)
//
// Always printed once the program has ended: exit_ms (fork to exit), exit_code (-N for a
// signal), user_ms, sys_ms and maxrss_kib of the program (wait4's resource usage).
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options
{
    bool map = false;
    long settleMs = 0;
    bool rss = false;
    bool ready = false;
    bool term = false;
    long timeoutMs = 120000;
    std::vector<char *> command;
};

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

[[noreturn]] void usage(const char *why)
{
    std::fprintf(stderr,
                 "bench_launch: %s\nusage: bench_launch [--map] [--settle MS] [--rss] [--ready] "
                 "[--term] [--timeout MS] -- PROGRAM [ARGS]\n",
                 why);
    std::exit(2);
}

Options parse(int argc, char **argv)
{
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto number = [&](const char *name) {
            if (i + 1 >= argc)
                usage((std::string(name) + " wants a number").c_str());
            return std::strtol(argv[++i], nullptr, 10);
        };
        if (arg == "--")
            break;
        if (arg == "--map")
            options.map = true;
        else if (arg == "--settle")
            options.settleMs = number("--settle");
        else if (arg == "--rss")
            options.rss = true;
        else if (arg == "--ready")
            options.ready = true;
        else if (arg == "--term")
            options.term = true;
        else if (arg == "--timeout")
            options.timeoutMs = number("--timeout");
        else
            usage(("unknown option " + arg).c_str());
    }
    for (++i; i < argc; ++i)
        options.command.push_back(argv[i]);
    if (options.command.empty())
        usage("no program");
    options.command.push_back(nullptr);
    return options;
}

// A field of /proc/PID/status or /proc/PID/smaps_rollup in KiB, or -1.
long procKiB(pid_t pid, const char *file, const char *field)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/" + file;
    FILE *in = std::fopen(path.c_str(), "r");
    if (!in)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, in)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(in);
    return value;
}

long windowPid(Display *display, Window window, Atom pidAtom)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32 && count == 1)
        pid = static_cast<long>(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

int ignoreXErrors(Display *, XErrorEvent *)
{
    return 0; // a window that went away before its property was read
}

void onAlarm(int) {}

// Waits up to `ms` for the child to end without reaping it; true if it has ended.
bool childEnded(pid_t pid, long ms)
{
    siginfo_t info{};
    const double deadline = nowMs() + double(ms);
    for (;;) {
        info.si_pid = 0;
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            return true;
        const double left = deadline - nowMs();
        if (left <= 0)
            return false;
        // Sleeping is fine here: this only settles, it measures nothing.
        const long step = left < 5 ? long(left) + 1 : 5;
        const timespec pause{0, step * 1000000L};
        nanosleep(&pause, nullptr);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);

    Display *display = nullptr;
    Window root = 0;
    Atom pidAtom = None;
    if (options.map) {
        display = XOpenDisplay(nullptr);
        if (!display)
            usage("--map needs a display (DISPLAY)");
        XSetErrorHandler(ignoreXErrors);
        root = DefaultRootWindow(display);
        pidAtom = XInternAtom(display, "_NET_WM_PID", False);
        XSelectInput(display, root, SubstructureNotifyMask);
        XSync(display, False);
        fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
    }

    std::fflush(stdout);
    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        execvp(options.command[0], options.command.data());
        std::fprintf(stderr, "bench_launch: cannot run %s: %s\n", options.command[0],
                     std::strerror(errno));
        _exit(127);
    }

    struct sigaction alarmAction
    {
    };
    alarmAction.sa_handler = onAlarm; // no SA_RESTART: wait4 returns with EINTR
    sigaction(SIGALRM, &alarmAction, nullptr);
    const double deadline = start + double(options.timeoutMs);

    bool alive = true;
    if (display) {
        bool mapped = false;
        std::vector<Window> candidates; // mapped before their pid could be read
        pollfd xfd{ConnectionNumber(display), POLLIN, 0};
        while (!mapped && alive) {
            while (!mapped && XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type != MapNotify || event.xmap.event != root)
                    continue;
                const double at = nowMs();
                if (windowPid(display, event.xmap.window, pidAtom) == pid) {
                    std::printf("map_ms=%.2f\n", at - start);
                    mapped = true;
                }
            }
            if (mapped)
                break;
            const double left = deadline - nowMs();
            if (left <= 0)
                break;
            // The event is what ends the wait; the short time-out only notices a child that
            // died without showing a window.
            poll(&xfd, 1, left < 50 ? int(left) + 1 : 50);
            if (childEnded(pid, 0))
                alive = false;
        }
        if (!mapped) {
            std::printf("map_ms=-1\n");
            std::fprintf(stderr, "bench_launch: %s mapped no window\n", options.command[0]);
        }
        XCloseDisplay(display);
    }

    if (alive && options.settleMs > 0)
        alive = !childEnded(pid, options.settleMs);
    if (alive && options.rss) {
        std::printf("rss_kib=%ld\n", procKiB(pid, "status", "VmRSS"));
        std::printf("pss_kib=%ld\n", procKiB(pid, "smaps_rollup", "Pss"));
    }
    if (alive && options.ready)
        std::printf("pid=%d\nready=1\n", int(pid));
    std::fflush(stdout);
    if (alive && options.term)
        kill(pid, SIGTERM);

    int status = 0;
    rusage usage{};
    for (;;) {
        const double left = deadline - nowMs();
        if (left <= 0) {
            kill(pid, SIGKILL);
            std::fprintf(stderr, "bench_launch: %s timed out\n", options.command[0]);
        } else {
            itimerval timer{};
            timer.it_value.tv_sec = long(left / 1000);
            timer.it_value.tv_usec =
                long((left - double(timer.it_value.tv_sec) * 1000) * 1000) % 1000000 + 1;
            setitimer(ITIMER_REAL, &timer, nullptr);
        }
        const pid_t ended = wait4(pid, &status, 0, &usage);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR) {
            std::perror("wait4");
            return 1;
        }
    }
    const double end = nowMs();
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);

    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    const auto ms = [](const timeval &t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    std::printf("exit_ms=%.2f\nexit_code=%d\nuser_ms=%.1f\nsys_ms=%.1f\nmaxrss_kib=%ld\n",
                end - start, code, ms(usage.ru_utime), ms(usage.ru_stime), usage.ru_maxrss);
    return 0;
}
