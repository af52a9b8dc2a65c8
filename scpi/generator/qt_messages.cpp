#include "scpi/generator/qt_messages.h"

#include "scpi/generator/journal.h"
#include "scpi/generator/journal_limiter.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

namespace varlo::scpi {

namespace {

void toJournal(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    const std::string text = "Qt: " + message.toStdString();
    journalLimited(text, text);
}

} // namespace

void journalQtMessages(QCoreApplication& application)
{
    qInstallMessageHandler(toJournal);
    auto* counts = new QTimer(&application);
    QObject::connect(counts, &QTimer::timeout, counts, [] { journalCounts(); });
    counts->start(std::chrono::duration_cast<std::chrono::milliseconds>(JournalLimiter::Window));
}

} // namespace varlo::scpi
