#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace varlo {

// "SIGINT", "SIGTERM" or "SIGHUP", as a program says what ended it.
const char* signalName(int signalNumber);

// Ends the event loop on SIGINT, SIGTERM and SIGHUP, so a program leaves through its normal
// exit and its destructors close the port, remove its lock or take down a published link.
// The signal handler only records the signal and writes a byte to a pipe; the quit happens in
// the event loop. A program busy outside the event loop asks received() between two steps.
// SIGPIPE is ignored: a reader that goes away shows as a failed write instead of ending the
// program before it can clean up.
class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    // One instance per process.
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;
    QuitOnSignal(const QuitOnSignal&) = delete;
    QuitOnSignal& operator=(const QuitOnSignal&) = delete;

    // The first signal that arrived, or 0 while none has.
    static int received();
    // Turns readable when a signal arrives, for a program that waits outside the event loop:
    // it polls this with its deadline instead of sleeping. -1 while no instance exists.
    static int descriptor();

Q_SIGNALS:
    // Emitted from the event loop, just before it is told to quit.
    void arrived(int signalNumber);

private:
    void signalArrived();

    QSocketNotifier notifier_;
};

} // namespace varlo
