#include "program/refusal.h"

#include "program/exit_status.h"

#include <QCoreApplication>

#include <cstdio>

namespace varlo {

int refuse(std::string_view what)
{
    if (what.ends_with('.'))
        what.remove_suffix(1);
    std::fprintf(stderr, "%s: %.*s\n", qPrintable(QCoreApplication::applicationName()),
                 static_cast<int>(what.size()), what.data());
    return exit_status::Usage;
}

} // namespace varlo
