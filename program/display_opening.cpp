#include "program/display_opening.h"

#include "program/exit_status.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

namespace varlo {

namespace {

// The one opening under way: Qt's message handler is a plain function.
DisplayOpening* opening = nullptr;

} // namespace

DisplayOpening::DisplayOpening(const char* program, const char* needsNone)
    : program_(program), needsNone_(needsNone)
{
    opening = this;
    previous_ = qInstallMessageHandler(&DisplayOpening::hold);
}

DisplayOpening::~DisplayOpening()
{
    qInstallMessageHandler(previous_);
    opening = nullptr;
    for (const std::string& line : held_)
        std::fprintf(stderr, "%s\n", line.c_str());
}

void DisplayOpening::hold(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // The only fatal message of the application's making: no platform plugin could start.
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s: no display could be opened (%s)\n", opening->program_,
                     opening->needsNone_);
        std::fflush(stderr);
        std::_Exit(exit_status::Failure);
    }
    opening->held_.push_back(qFormatLogMessage(type, context, message).toStdString());
}

} // namespace varlo
