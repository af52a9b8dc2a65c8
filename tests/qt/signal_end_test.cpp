// The built panel in its own process, ended by a signal while it holds its port.

#include "serial/line_settings.h"
#include "serial/port_lock.h"
#include "serial/serial_link.h"

#include "tests/helper_program.h"
#include "tests/qt/pty_pair.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The "LCK.." files that name the device, wherever serial programs leave them.
std::vector<std::string> lockFilesOf(const std::string& device)
{
    std::vector<std::string> found;
    for (const std::string& dir : varlo::lockFileDirectories())
        for (const std::string& name : varlo::lockFileNames(device))
            if (const std::string path = dir + "/LCK.." + name; ::access(path.c_str(), F_OK) == 0)
                found.push_back(path);
    return found;
}

// The signal comes while "Find Com 3, Using it?" is open: the scan stops there, and no lower
// port is opened, locked or set.
TEST(VarloProcess, SignalDuringTheScanEndsItLikeExitTouchingNoOtherPort)
{
    PortDir ports;
    PtyPair com3(ports.path(), 3);
    PtyPair com1(ports.path(), 1);
    const OpenWatch watch1(com1.slavePath());
    ASSERT_TRUE(watch1.watching());
    QProcess varlo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    varlo.setProcessEnvironment(environment);
    varlo.start(QString::fromStdString(helperProgram(VARLO_EXE)), {});
    ASSERT_TRUE(varlo.waitForStarted());

    // The scan holds COM3 open, locked, while it asks whether to use it.
    const std::string device = com3.slavePath();
    QElapsedTimer timer;
    timer.start();
    while ((!com3.slaveHeldOpen() || lockFilesOf(device).empty()) && timer.elapsed() < 10000)
        QThread::msleep(10);
    ASSERT_TRUE(com3.slaveHeldOpen()) << "the panel never opened COM3";
    ASSERT_FALSE(lockFilesOf(device).empty()) << "no lock file to be left behind";

    ASSERT_EQ(::kill(static_cast<pid_t>(varlo.processId()), SIGTERM), 0);
    ASSERT_TRUE(varlo.waitForFinished(10000));
    EXPECT_EQ(varlo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(varlo.exitCode(), 0);
    EXPECT_EQ(lockFilesOf(device), std::vector<std::string>{});
    EXPECT_FALSE(watch1.opened()) << "COM1 was opened after the signal";
    varlo::SerialLink link;
    EXPECT_EQ(link.OpenPort(3, varlo::PanelLineSettings, 1), 3) << "the port is free again";
}

} // namespace
