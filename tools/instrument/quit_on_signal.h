#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace varlo::instrument {

// Ends the event loop on SIGINT and SIGTERM, so the program leaves through its normal exit and
// its destructors remove the published port. The signal handler only writes a byte to a pipe;
// the quit happens in the event loop. SIGPIPE is ignored: a reader that goes away shows as a
// failed write instead of ending the program before it can clean up.
class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    // One instance per process.
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;
    QuitOnSignal(const QuitOnSignal&) = delete;
    QuitOnSignal& operator=(const QuitOnSignal&) = delete;

private:
    void signalArrived();

    QSocketNotifier notifier_;
};

} // namespace varlo::instrument
