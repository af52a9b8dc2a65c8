// Drives a program under an X server the way a user would and times it: when its first
// window is mapped, how long a click takes to come out as bytes on the serial line, and how
// much memory it holds with its window shown. The program's serial port is a
// pseudo-terminal that this process owns, published as a link so the program opens it by
// name. Results are printed as key=value lines; problems end the run with status 1.
//
//   x_probe first-map [options] -- PROGRAM ARGS...
//   x_probe session   [options] -- PROGRAM ARGS...
//
// Options:
//   --port-link PATH      create a pty and publish its slave as PATH (a symbolic link)
//   --timeout-ms N        limit for each wait (default 20000)
//   --dialogs N           session: answer N dialogs with Return before the main window
//   --client-height N     session: height of the client area below the window's menu bar;
//                         the menu bar is what the window has above it (0: no menu bar)
//   --click X,Y           session: click point in client-area pixels (default: the centre)
//   --expect TEXT         session: the bytes one click must write
//   --clicks N            session: timed clicks, one click_ms line each
//   --soak N              session: further clicks, each checked, with memory before and after
//   --pace-us N           soak: start each click N microseconds after the one before it at
//                         the earliest, as a user no faster than the serial line would
//   --settle-ms N         session: pause after the main window maps (default 700)

#include "instrument/pty/pseudo_terminal.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string mode;
    std::string portLink;
    int timeoutMs = 20000;
    int dialogs = 0;
    int clientHeight = 0;
    std::optional<std::pair<int, int>> click;
    std::string expect;
    int clicks = 0;
    int soak = 0;
    int paceUs = 0;
    int settleMs = 700;
    std::vector<std::string> command;
};

int toInt(const std::string& text, const std::string& option)
{
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size())
            return value;
    } catch (const std::exception&) {
    }
    throw Failure(option + " needs a whole number, got \"" + text + "\"");
}

Options parseOptions(int argc, char** argv)
{
    if (argc < 2)
        throw Failure("usage: x_probe first-map|session [options] -- PROGRAM ARGS...");
    Options options;
    options.mode = argv[1];
    if (options.mode != "first-map" && options.mode != "session")
        throw Failure("unknown mode \"" + options.mode + "\"");
    int i = 2;
    auto value = [&](const std::string& option) -> std::string {
        if (i + 1 >= argc)
            throw Failure(option + " needs a value");
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--port-link")
            options.portLink = value(option);
        else if (option == "--timeout-ms")
            options.timeoutMs = toInt(value(option), option);
        else if (option == "--dialogs")
            options.dialogs = toInt(value(option), option);
        else if (option == "--client-height")
            options.clientHeight = toInt(value(option), option);
        else if (option == "--click") {
            const std::string point = value(option);
            const auto comma = point.find(',');
            if (comma == std::string::npos)
                throw Failure("--click needs X,Y");
            options.click = std::pair{toInt(point.substr(0, comma), option),
                                      toInt(point.substr(comma + 1), option)};
        } else if (option == "--expect")
            options.expect = value(option);
        else if (option == "--clicks")
            options.clicks = toInt(value(option), option);
        else if (option == "--soak")
            options.soak = toInt(value(option), option);
        else if (option == "--pace-us")
            options.paceUs = toInt(value(option), option);
        else if (option == "--settle-ms")
            options.settleMs = toInt(value(option), option);
        else
            throw Failure("unknown option " + option);
    }
    for (; i < argc; ++i)
        options.command.emplace_back(argv[i]);
    if (options.command.empty())
        throw Failure("no program given after --");
    if ((options.clicks > 0 || options.soak > 0) && options.expect.empty())
        throw Failure("--clicks and --soak need --expect");
    if ((options.clicks > 0 || options.soak > 0) && options.portLink.empty())
        throw Failure("--clicks and --soak need --port-link");
    return options;
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The serial line's far end: bytes the program writes to the slave arrive at the master.
// The slave stays open here too, so the program's own open and close never hang the line up.
class PseudoTerminal {
public:
    explicit PseudoTerminal(const std::string& linkPath) : terminal_(open(linkPath)) {}

    // Reads until `count` bytes have arrived or the limit passes; the time of the read that
    // completed them comes back with them.
    std::pair<std::string, Clock::time_point> read(std::size_t count, int timeoutMs)
    {
        std::string bytes;
        auto last = Clock::now();
        const auto deadline = last + std::chrono::milliseconds(timeoutMs);
        while (bytes.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd waiting{terminal_.master(), POLLIN, 0};
            if (::poll(&waiting, 1, static_cast<int>(left.count()) + 1) <= 0)
                continue;
            char chunk[256];
            const ssize_t got = ::read(terminal_.master(), chunk, sizeof chunk);
            if (got > 0) {
                last = Clock::now();
                bytes.append(chunk, static_cast<std::size_t>(got));
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                throw Failure(std::string("reading the pty master: ") + std::strerror(errno));
            }
        }
        return {bytes, last};
    }

    // Whatever is already waiting, so one click's bytes are never taken for another's.
    std::string drain()
    {
        std::string bytes;
        char chunk[256];
        ssize_t got = 0;
        while ((got = ::read(terminal_.master(), chunk, sizeof chunk)) > 0)
            bytes.append(chunk, static_cast<std::size_t>(got));
        return bytes;
    }

private:
    static varlo::PseudoTerminal open(const std::string& linkPath)
    {
        auto opened = varlo::PseudoTerminal::open(linkPath, varlo::PseudoTerminal::Slave::Kept);
        if (!opened.terminal)
            throw Failure(opened.error);
        return std::move(*opened.terminal);
    }

    varlo::PseudoTerminal terminal_;
};

class Child {
public:
    explicit Child(const std::vector<std::string>& command)
    {
        std::vector<char*> argv;
        for (const auto& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ < 0)
            throw Failure(std::string("fork: ") + std::strerror(errno));
        if (pid_ == 0) {
            ::execvp(argv[0], argv.data());
            std::fprintf(stderr, "x_probe: cannot run %s: %s\n", argv[0], std::strerror(errno));
            ::_exit(127);
        }
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    bool running()
    {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    void stop()
    {
        if (!running())
            return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 200 && running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    // Resident memory in kB, from the kernel's own account of the process.
    long residentKb() const
    {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmRSS:", 0) == 0)
                return std::strtol(line.c_str() + 6, nullptr, 10);
        throw Failure("no VmRSS for process " + std::to_string(pid_));
    }

private:
    pid_t pid_ = -1;
};

class XServer {
public:
    XServer()
    {
        display_ = XOpenDisplay(nullptr);
        if (!display_)
            throw Failure("cannot open the X display (is DISPLAY set?)");
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor))
            throw Failure("the X server has no XTEST extension");
        root_ = DefaultRootWindow(display_);
        // Top-level windows of every client are children of the root: their maps show here.
        XSelectInput(display_, root_, SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~XServer() { XCloseDisplay(display_); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // The next top-level window that is mapped (menus and tooltips excluded), with the time
    // its map was reported.
    std::pair<Window, Clock::time_point> waitForMap(Child& child, int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == MapNotify && !event.xmap.override_redirect)
                    return {event.xmap.window, Clock::now()};
            }
            if (!child.running())
                throw Failure("the program ended before its window appeared");
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                throw Failure("no window appeared within " + std::to_string(timeoutMs) + " ms");
            pollfd waiting{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&waiting, 1, static_cast<int>(std::min<long>(left.count(), 50)) + 1);
        }
    }

    std::string windowName(Window window)
    {
        char* name = nullptr;
        std::string text;
        if (XFetchName(display_, window, &name) && name) {
            text = name;
            XFree(name);
        }
        return text;
    }

    struct Geometry {
        int rootX = 0;
        int rootY = 0;
        unsigned width = 0;
        unsigned height = 0;
    };

    Geometry geometry(Window window)
    {
        Window rootReturn = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        XGetGeometry(display_, window, &rootReturn, &x, &y, &width, &height, &border, &depth);
        Window child = 0;
        int rootX = 0, rootY = 0;
        XTranslateCoordinates(display_, window, root_, 0, 0, &rootX, &rootY, &child);
        return {rootX, rootY, width, height};
    }

    // Gives the window the keyboard and presses Return in it, as a user answering a box.
    void pressReturnIn(Window window, int settleMs)
    {
        const Geometry at = geometry(window);
        XTestFakeMotionEvent(display_, -1, at.rootX + static_cast<int>(at.width / 2),
                             at.rootY + static_cast<int>(at.height / 2), CurrentTime);
        XSetInputFocus(display_, window, RevertToPointerRoot, CurrentTime);
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        const KeyCode returnKey = XKeysymToKeycode(display_, XK_Return);
        XTestFakeKeyEvent(display_, returnKey, True, CurrentTime);
        XTestFakeKeyEvent(display_, returnKey, False, CurrentTime);
        XSync(display_, False);
    }

    // Asks every window on the screen to close, as a close box would: programs that end
    // that way release their ports and locks, where a signal would leave the locks behind.
    void closeAllWindows()
    {
        const Atom protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
        const Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count))
            return;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(display_, children[i], &attributes) ||
                attributes.map_state != IsViewable || attributes.override_redirect)
                continue;
            XEvent message{};
            message.xclient.type = ClientMessage;
            message.xclient.window = children[i];
            message.xclient.message_type = protocols;
            message.xclient.format = 32;
            message.xclient.data.l[0] = static_cast<long>(deleteWindow);
            message.xclient.data.l[1] = CurrentTime;
            XSendEvent(display_, children[i], False, NoEventMask, &message);
        }
        if (children)
            XFree(children);
        XSync(display_, False);
    }

    void moveTo(int rootX, int rootY)
    {
        XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
        XSync(display_, False);
    }

    // Press and release of the left button where the pointer is; both are on their way to
    // the server when this returns.
    void click()
    {
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XFlush(display_);
    }

private:
    Display* display_ = nullptr;
    Window root_ = 0;
};

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Closes the program's windows until it ends (a panel still at its start-up questions
// declines them, then closes its last message); a signal only if that takes too long.
void endProgram(Child& child, XServer& x)
{
    for (int i = 0; i < 50 && child.running(); ++i) {
        x.closeAllWindows();
        sleepMs(100);
    }
    child.stop();
}

std::string printable(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        if (c >= 0x20 && c <= 0x7E) {
            text += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            text += escape;
        }
    }
    return text;
}

int firstMap(const Options& options)
{
    std::optional<PseudoTerminal> line;
    if (!options.portLink.empty())
        line.emplace(options.portLink);
    XServer x;
    const auto start = Clock::now();
    Child child(options.command);
    const auto [window, mapped] = x.waitForMap(child, options.timeoutMs);
    std::printf("first_map_ms=%.2f\n", millisecondsBetween(start, mapped));
    std::printf("first_window_name=%s\n", x.windowName(window).c_str());
    endProgram(child, x);
    return 0;
}

int session(const Options& options)
{
    std::optional<PseudoTerminal> line;
    if (!options.portLink.empty())
        line.emplace(options.portLink);
    XServer x;
    Child child(options.command);

    for (int i = 0; i < options.dialogs; ++i) {
        const auto [dialog, mapped] = x.waitForMap(child, options.timeoutMs);
        std::printf("dialog_%d_name=%s\n", i + 1, x.windowName(dialog).c_str());
        x.pressReturnIn(dialog, 250);
    }
    const auto [window, mapped] = x.waitForMap(child, options.timeoutMs);
    sleepMs(options.settleMs);
    if (!child.running())
        throw Failure("the program ended right after showing its window");
    const XServer::Geometry at = x.geometry(window);
    std::printf("window_name=%s\n", x.windowName(window).c_str());
    std::printf("window_size=%ux%u\n", at.width, at.height);
    std::printf("rss_kb=%ld\n", child.residentKb());

    const int menuBar =
        options.clientHeight > 0 ? static_cast<int>(at.height) - options.clientHeight : 0;
    if (menuBar < 0)
        throw Failure("the window is lower than its client area");
    const auto [clientX, clientY] = options.click.value_or(
        std::pair{static_cast<int>(at.width / 2), (static_cast<int>(at.height) - menuBar) / 2});
    x.moveTo(at.rootX + clientX, at.rootY + menuBar + clientY);
    sleepMs(100);

    // Bytes left over from an earlier click count against this one.
    auto clickAndRead = [&]() -> std::pair<std::string, double> {
        const std::string stray = line->drain();
        const auto start = Clock::now();
        x.click();
        const auto [bytes, last] = line->read(options.expect.size(), 2000);
        return {stray + bytes, millisecondsBetween(start, last)};
    };

    for (int i = 0; i < options.clicks; ++i) {
        const auto [bytes, ms] = clickAndRead();
        if (bytes != options.expect)
            throw Failure("click " + std::to_string(i + 1) + " wrote \"" + printable(bytes) +
                          "\", expected \"" + options.expect + "\"");
        std::printf("click_ms=%.3f\n", ms);
    }

    if (options.soak > 0) {
        std::printf("soak_rss_start_kb=%ld\n", child.residentKb());
        int wrong = 0;
        const auto start = Clock::now();
        for (int i = 0; i < options.soak; ++i) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(static_cast<long long>(options.paceUs) * i));
            const auto [bytes, ms] = clickAndRead();
            if (bytes != options.expect) {
                if (++wrong <= 5)
                    std::fprintf(stderr, "x_probe: soak click %d wrote \"%s\"\n", i + 1,
                                 printable(bytes).c_str());
                if (bytes.empty() && !child.running())
                    throw Failure("the program ended during the soak");
            }
        }
        const double seconds = millisecondsBetween(start, Clock::now()) / 1000.0;
        sleepMs(options.settleMs);
        std::printf("soak_clicks=%d\n", options.soak);
        std::printf("soak_pace_us=%d\n", options.paceUs);
        std::printf("soak_wrong=%d\n", wrong);
        std::printf("soak_seconds=%.2f\n", seconds);
        std::printf("soak_rss_end_kb=%ld\n", child.residentKb());
    }
    endProgram(child, x);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Keep the lines of a run in order with the program's own output.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const Options options = parseOptions(argc, argv);
        return options.mode == "first-map" ? firstMap(options) : session(options);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "x_probe: %s\n", failure.what());
        return 1;
    }
}
