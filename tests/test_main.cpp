#ifdef VARLO_TEST_WIDGETS
#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

// The main of every test program that needs a Qt application: built with VARLO_TEST_WIDGETS
// for the tests that show widgets, without it for those that need only an event loop.
int main(int argc, char** argv)
{
#ifdef VARLO_TEST_WIDGETS
    // Widget tests need no display; a run by hand behaves like the one under ctest.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
