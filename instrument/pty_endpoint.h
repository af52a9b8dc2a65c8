#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include "instrument/pty/pseudo_terminal.h"

#include <memory>

namespace varlo::instrument {

// The generator's end of the line: a pseudo-terminal whose slave is published as the entry
// "COMn" (a symbolic link) in a port directory, so the panel opens it like a serial port.
// Bytes the panel writes arrive at the master and are passed on as they come. The endpoint
// keeps a descriptor of the slave open itself, so the panel may close and reopen the port
// without the master seeing a hang-up; should one come anyway, reading pauses briefly
// instead of spinning.
//
// A program that opened the port exclusively and was killed leaves the exclusive-open flag
// on the pty, which outlives it while this side holds the pty: every later open by another
// user would be refused. So the endpoint counts the opens and closes of the slave by others,
// and once none is open any more it takes a leftover flag off; the flag of a program still
// holding the port is never touched.
class PtyEndpoint : public QObject {
    Q_OBJECT

public:
    struct Opened;

    // Creates the pty (raw, 9600 8N1) and the link dir/COMn; the link is removed again when
    // the endpoint is destroyed.
    static Opened open(const QString& directory, int port);

    ~PtyEndpoint() override;
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    QString linkPath() const { return QString::fromStdString(terminal_.linkPath()); }
    QString slavePath() const { return QString::fromStdString(terminal_.slavePath()); }

Q_SIGNALS:
    void bytesReceived(const QByteArray& bytes);

private:
    explicit PtyEndpoint(PseudoTerminal terminal);
    void readMaster();
    void resumeReading();
    void countSlaveUsers();

    PseudoTerminal terminal_;
    QSocketNotifier notifier_;
    QTimer hangUpPause_;
    int slaveWatch_ = -1; // inotify: the opens and closes of the slave
    std::unique_ptr<QSocketNotifier> slaveWatchNotifier_;
    int othersOpen_ = 0;     // descriptions of the slave open by others
    bool countLost_ = false; // events were dropped: the count can no longer be trusted
};

// Either an endpoint or the reason there is none.
struct PtyEndpoint::Opened {
    std::unique_ptr<PtyEndpoint> endpoint;
    QString error;
};

} // namespace varlo::instrument
