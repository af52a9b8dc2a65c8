#include "scpi/generator/sweep_watch.h"

namespace varlo::scpi {

void SweepWatch::stepSent(std::int64_t wholeHz, int hundredths, Clock::time_point at)
{
    const int steps = sweepAt(at) ? last_->steps + 1 : 1;
    last_ = Sweep{wholeHz, hundredths, steps};
    lastAt_ = at;
}

std::optional<SweepWatch::Sweep> SweepWatch::sweepAt(Clock::time_point now) const
{
    if (!last_ || now - lastAt_ > Window)
        return std::nullopt;
    return last_;
}

} // namespace varlo::scpi
