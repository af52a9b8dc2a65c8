#include "serial/line_queue.h"

#include <algorithm>
#include <cmath>

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

std::chrono::microseconds lineTime(const LineSettings& settings, std::size_t characters)
{
    return std::chrono::microseconds(
        std::llround(static_cast<double>(characters) * 1e6 / charactersPerSecond(settings)));
}

void LineQueue::restart(double charactersPerSecond, Clock::time_point now)
{
    rate_ = charactersPerSecond;
    queued_ = 0;
    at_ = now;
}

double LineQueue::capacity() const
{
    return std::max(rate_ * MaxQueuedSeconds, MinQueuedCharacters);
}

bool LineQueue::takes(std::size_t size, std::size_t reported, Clock::time_point now)
{
    takeReport(reported, now);
    return queued_ + static_cast<double>(size) <= capacity();
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

LineQueue::Clock::duration LineQueue::timeUntilAtMost(double characters, std::size_t reported,
                                                      Clock::time_point now)
{
    takeReport(reported, now);
    const double excess = queued_ - std::max(characters, 0.0);
    if (excess <= 0)
        return Clock::duration::zero();
    // Rounded up, so that the model has drained that far once the time has passed.
    const std::chrono::duration<double> seconds(excess / rate_);
    return std::chrono::ceil<Clock::duration>(seconds);
}

void LineQueue::drainTo(Clock::time_point now)
{
    if (now <= at_)
        return;
    queued_ = queuedAt(now);
    at_ = now;
}

void LineQueue::takeReport(std::size_t reported, Clock::time_point now)
{
    drainTo(now);
    queued_ = std::max(queued_, static_cast<double>(reported));
}

} // namespace varlo
