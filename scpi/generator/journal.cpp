#include "scpi/generator/journal.h"

#include <cstdio>

namespace varlo::scpi {

void journal(const std::string& text)
{
    std::fprintf(stderr, "varlo-scpi: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace varlo::scpi
