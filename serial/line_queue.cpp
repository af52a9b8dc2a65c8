#include "serial/line_queue.h"

#include <algorithm>

namespace varlo {

double charactersPerSecond(const LineSettings& settings)
{
    double stopBits = 1;
    if (settings.stopBits == LineSettings::StopBits::OneAndHalf)
        stopBits = 1.5;
    else if (settings.stopBits == LineSettings::StopBits::Two)
        stopBits = 2;
    const double parityBits = settings.parity == LineSettings::Parity::None ? 0 : 1;
    return settings.baud / (1 + settings.dataBits + parityBits + stopBits);
}

void LineQueue::restart(double charactersPerSecond, Clock::time_point now)
{
    rate_ = charactersPerSecond;
    queued_ = 0;
    at_ = now;
}

bool LineQueue::takes(std::size_t size, std::size_t reported, Clock::time_point now)
{
    drainTo(now);
    queued_ = std::max(queued_, static_cast<double>(reported));
    const double bound = std::max(rate_ * MaxQueuedSeconds, MinQueuedCharacters);
    return queued_ + static_cast<double>(size) <= bound;
}

void LineQueue::add(std::size_t size, Clock::time_point now)
{
    drainTo(now);
    queued_ += static_cast<double>(size);
}

double LineQueue::queuedAt(Clock::time_point now) const
{
    if (now <= at_)
        return queued_;
    const std::chrono::duration<double> elapsed = now - at_;
    return std::max(0.0, queued_ - elapsed.count() * rate_);
}

void LineQueue::drainTo(Clock::time_point now)
{
    if (now <= at_)
        return;
    queued_ = queuedAt(now);
    at_ = now;
}

} // namespace varlo
