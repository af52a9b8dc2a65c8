#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr int TimeoutMs = 5000;

struct CommandLineCase {
    const char* shows;
    QStringList arguments;
    int exitCode;
    const char* stdoutHas; // empty: nothing on stdout
    const char* stderrHas; // empty: nothing on stderr
};

// The panel is started with no display at all: an answer that built a window, or a scan that
// asked its questions, would abort or hang instead of answering.
TEST(PanelCommandLine, AnswersWithoutDisplayAndStartsNothing)
{
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        noDisplay.remove(QString::fromLatin1(variable));

    const CommandLineCase cases[] = {
        {"help lists the port directory", {QStringLiteral("--help")}, 0, "VARLO_PORT_DIR", ""},
        {"short help", {QStringLiteral("-h")}, 0, "Usage: ", ""},
        {"version", {QStringLiteral("--version")}, 0, "varlo " VARLO_VERSION, ""},
        {"unknown option",
         {QStringLiteral("--frequency=5")},
         2,
         "",
         "varlo: Unknown option 'frequency'\n"},
        {"stray argument", {QStringLiteral("COM3")}, 2, "", "varlo: unexpected argument 'COM3'\n"},
        {"help after connect",
         {QStringLiteral("--connect"), QStringLiteral("--help")},
         0,
         "--connect",
         ""},
        {"connect takes one address",
         {QStringLiteral("--connect"), QStringLiteral("bench"), QStringLiteral("COM3")},
         2,
         "",
         "unexpected argument 'COM3'"},
        {"connect address refused",
         {QStringLiteral("--connect=bench:0")},
         2,
         "",
         "--connect takes [HOST][:PORT] such as 127.0.0.1:5025, bench-pc or :5026, not "
         "\"bench:0\""},
        {"unknown before help",
         {QStringLiteral("--bogus"), QStringLiteral("--help")},
         2,
         "",
         "Unknown option 'bogus'"},
    };
    for (const auto& [shows, arguments, exitCode, stdoutHas, stderrHas] : cases) {
        SCOPED_TRACE(shows);
        QProcess panel;
        panel.setProcessEnvironment(noDisplay);
        panel.start(QStringLiteral(VARLO_EXE), arguments);
        ASSERT_TRUE(panel.waitForFinished(TimeoutMs));
        EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(panel.exitCode(), exitCode);
        const QString out = QString::fromUtf8(panel.readAllStandardOutput());
        const QString err = QString::fromUtf8(panel.readAllStandardError());
        if (*stdoutHas)
            EXPECT_TRUE(out.contains(QLatin1String(stdoutHas))) << out.toStdString();
        else
            EXPECT_TRUE(out.isEmpty()) << out.toStdString();
        if (*stderrHas)
            EXPECT_TRUE(err.contains(QLatin1String(stderrHas))) << err.toStdString();
        else
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    }
}

// Started to open its window where none can be opened, the panel says so in one line and ends
// with status 1: with no display at all, and with a platform that cannot start.
TEST(PanelCommandLine, WithoutADisplaySaysSoInOneLine)
{
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        noDisplay.remove(QString::fromLatin1(variable));
    QProcessEnvironment noPlatform = noDisplay;
    noPlatform.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("nonesuch"));

    for (const QProcessEnvironment& environment : {noDisplay, noPlatform}) {
        SCOPED_TRACE(environment.value(QStringLiteral("QT_QPA_PLATFORM")).toStdString());
        QProcess panel;
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(VARLO_EXE), QStringList());
        ASSERT_TRUE(panel.waitForFinished(TimeoutMs));
        EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(panel.exitCode(), 1);
        EXPECT_EQ(panel.readAllStandardOutput(), QByteArray());
        EXPECT_EQ(panel.readAllStandardError(),
                  QByteArray("varlo: no display could be opened (--help and --version need "
                             "none)\n"));
    }
}

// A panel without its network client (a copy of the program alone) still drives a port, but
// --connect says in one line that it cannot go through the server, before any window opens.
TEST(PanelCommandLine, ConnectWithoutTheNetworkClientSaysSo)
{
    QTemporaryDir dir;
    const QString alone = dir.filePath(QStringLiteral("varlo"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VARLO_EXE), alone));
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    offscreen.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    QProcess panel;
    panel.setProcessEnvironment(offscreen);
    panel.start(alone, {QStringLiteral("--connect"), QStringLiteral("127.0.0.1:5025")});
    ASSERT_TRUE(panel.waitForFinished(TimeoutMs));
    EXPECT_EQ(panel.exitCode(), 1);
    const QByteArray err = panel.readAllStandardError();
    EXPECT_TRUE(err.startsWith("varlo: cannot go through varlo-scpi: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("varlo-server-link.so")) << err.toStdString();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
}

} // namespace
