#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

namespace varlo {

// Without a display Qt ends a program that builds a window with its own lines about platform
// plugins and an abort (status 134). Around the making of the QApplication, this turns that
// failure into one line on standard error,
//   <program>: no display could be opened (<what needs none>)
// and status 1. Qt's other messages of that time are held, and written as Qt would have
// written them once the application is made.
class DisplayOpening {
public:
    DisplayOpening(const char* program, const char* needsNone);
    ~DisplayOpening();
    DisplayOpening(const DisplayOpening&) = delete;
    DisplayOpening& operator=(const DisplayOpening&) = delete;

private:
    static void hold(QtMsgType type, const QMessageLogContext& context, const QString& message);

    const char* program_;
    const char* needsNone_;
    QtMessageHandler previous_ = nullptr;
    std::vector<std::string> held_;
};

} // namespace varlo
