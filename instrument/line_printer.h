#pragma once

#include <QByteArray>
#include <QObject>

namespace varlo::instrument {

// Without a window: one line per received command on standard output, flushed at once so a
// reader at the other end of a pipe sees each command as it comes.
class LinePrinter : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    void printCommand(const QByteArray& text);

Q_SIGNALS:
    // Standard output is gone (the reader closed the pipe): nobody sees the lines any more.
    void outputLost();
};

} // namespace varlo::instrument
