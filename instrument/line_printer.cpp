#include "instrument/line_printer.h"

#include "protocol/command_wording.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace varlo::instrument {

void LinePrinter::printCommand(const QByteArray& text)
{
    const std::string line =
        describeCommand(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        Q_EMIT outputLost();
}

} // namespace varlo::instrument
