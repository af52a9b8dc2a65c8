#include "program/quit_on_signal.h"

#include <QCoreApplication>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varlo {

namespace {

constexpr int QuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t firstSignal = 0;

void onSignal(int signalNumber)
{
    if (firstSignal == 0)
        firstSignal = signalNumber;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

int makePipe()
{
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe);
    return signalPipe[0];
}

void setHandler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : QuitSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

const char* signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    }
    return "a signal";
}

QuitOnSignal::QuitOnSignal(QObject* parent)
    : QObject(parent), notifier_(makePipe(), QSocketNotifier::Read)
{
    connect(&notifier_, &QSocketNotifier::activated, this, &QuitOnSignal::signalArrived);
    setHandler(onSignal);
    std::signal(SIGPIPE, SIG_IGN);
}

QuitOnSignal::~QuitOnSignal()
{
    setHandler(SIG_DFL);
    notifier_.setEnabled(false);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

int QuitOnSignal::received()
{
    return firstSignal;
}

int QuitOnSignal::descriptor()
{
    return signalPipe[0];
}

void QuitOnSignal::signalArrived()
{
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    Q_EMIT arrived(received());
    QCoreApplication::quit();
}

} // namespace varlo
