#include "instrument/command_receiver.h"

#include <string_view>

namespace varlo::instrument {

CommandReceiver::CommandReceiver(QObject* parent) : QObject(parent)
{
    idle_.setSingleShot(true);
    idle_.setInterval(IdleGapMs);
    idle_.setTimerType(Qt::PreciseTimer);
    connect(&idle_, &QTimer::timeout, this, &CommandReceiver::endBurst);
    sinceStart_.start();
}

void CommandReceiver::takeBytes(const QByteArray& bytes)
{
    lastBytesMs_ = sinceStart_.elapsed();
    emitPieces(framer_.append(std::string_view(bytes.constData(), bytes.size())));
    if (framer_.burstPending())
        idle_.start();
}

void CommandReceiver::endBurst()
{
    emitPieces(framer_.endBurst());
}

void CommandReceiver::emitPieces(const std::vector<std::string>& pieces)
{
    for (const std::string& piece : pieces)
        Q_EMIT commandFramed(QByteArray(piece.data(), static_cast<qsizetype>(piece.size())),
                             lastBytesMs_);
}

} // namespace varlo::instrument
