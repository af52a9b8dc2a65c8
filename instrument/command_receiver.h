#pragma once

#include "instrument/command_framer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace varlo::instrument {

// Turns the bytes of the line into command texts: a burst ends when the line has been quiet
// for IdleGapMs (at 9600 baud a byte takes about 1 ms, so a command's bytes never lie that far
// apart), then the framer splits it. Each text comes with the time its last bytes arrived, in
// milliseconds since the receiver was made, which the instrument does as it starts listening.
class CommandReceiver : public QObject {
    Q_OBJECT

public:
    static constexpr int IdleGapMs = 40;

    explicit CommandReceiver(QObject* parent = nullptr);

    void takeBytes(const QByteArray& bytes);

Q_SIGNALS:
    // One piece of a burst: a command text, or bytes that form none.
    void commandFramed(const QByteArray& text, qint64 arrivedMs);

private:
    void endBurst();
    void emitPieces(const std::vector<std::string>& pieces);

    CommandFramer framer_;
    QTimer idle_;
    QElapsedTimer sinceStart_;
    qint64 lastBytesMs_ = 0;
};

} // namespace varlo::instrument
