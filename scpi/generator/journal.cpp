#include "scpi/generator/journal.h"

#include "scpi/generator/journal_limiter.h"

#include <cstdio>
#include <mutex>

namespace varlo::scpi {

namespace {

// Qt's warnings may come from any thread.
std::mutex limiterMutex;
JournalLimiter limiter;

} // namespace

void journal(const std::string& text)
{
    std::fprintf(stderr, "varlo-scpi: %s\n", text.c_str());
    std::fflush(stderr);
}

void journalLimited(const std::string& kind, const std::string& text)
{
    const std::lock_guard lock(limiterMutex);
    for (const std::string& line : limiter.admit(kind, text, JournalLimiter::Clock::now()))
        journal(line);
}

void journalCounts()
{
    const std::lock_guard lock(limiterMutex);
    for (const std::string& line : limiter.due(JournalLimiter::Clock::now()))
        journal(line);
}

} // namespace varlo::scpi
