#include "tests/scpi_process.h"

#include "tests/helper_program.h"

#include <QProcessEnvironment>
#include <QTcpServer>

namespace {

constexpr int TimeoutMs = 10000;

} // namespace

ScpiProcess::ScpiProcess(const QString& portDir, int comPort, int listenPort)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VARLO_PORT_DIR"), portDir);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QString::fromStdString(helperProgram(VARLO_SCPI_EXE)),
                   {QStringLiteral("--port"), QStringLiteral("COM%1").arg(comPort),
                    QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(listenPort),
                    QStringLiteral("--http"), QStringLiteral("off"), QStringLiteral("--portmapper"),
                    QStringLiteral("off"), QStringLiteral("--quiet")});
    if (!process_.waitForStarted(TimeoutMs))
        return;
    while (!process_.canReadLine() && process_.waitForReadyRead(TimeoutMs)) {
    }
    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
    const QString prefix = QStringLiteral("listening on 127.0.0.1:");
    if (line.startsWith(prefix))
        address_.port = line.mid(prefix.size()).toInt();
}

ScpiProcess::~ScpiProcess()
{
    stop();
}

void ScpiProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(TimeoutMs))
        process_.kill();
    process_.waitForFinished(TimeoutMs);
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
