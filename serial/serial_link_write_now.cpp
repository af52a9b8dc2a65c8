#include "serial/serial_link.h"

#include "serial/comm_error_text.h"
#include "serial/serial_link_operations.h"

#include <algorithm>

#include <termios.h>

// The write that never waits, for a program that must never be held up by the line
// (varlo-scpi): its readiness notice and the watch for a hang-up while nothing is written.

namespace varlo {

using serial_link_detail::HungUp;
using serial_link_detail::OperationScope;

namespace {

// A device whose own count stays put is looked at less and less often, up to this seldom.
constexpr std::chrono::milliseconds SlowestLook{1000};

} // namespace

SerialLink::Written SerialLink::writeNow(std::string_view text)
{
    OperationScope scope(inOperation_);
    if (state_ == State::Failed)
        return Written::PortGone;
    if (state_ == State::Closed)
        return Written::NotOpen;
    const LineLook line = lookAtLine();
    if (line.gone) {
        failWrite(comm_code::HardwareGone, HungUp);
        return Written::PortGone;
    }
    // The rest of an earlier command still in the port's own buffer is not yet the device's.
    if (!line.ready || port_.bytesToWrite() > 0 ||
        !queue_.takes(text.size(), waitingInDevice(), LineQueue::Clock::now()))
        return Written::LineFull;
    if (handOver(text) != comm_code::None)
        return Written::PortGone;
    return Written::Whole;
}

void SerialLink::notifyWhenReady(std::size_t queuedAtMost)
{
    readyWanted_ = true;
    readyTarget_ = queuedAtMost;
    lastReported_ = 0;
    stuckInterval_ = std::chrono::milliseconds::zero();
    // Looked at from the event loop, so that the owner hears of it after its own call.
    readyTimer_.start(0);
}

void SerialLink::checkReady()
{
    readyTimer_.stop();
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
    // The port's own signal of its buffer handed over brings the next look.
    if (!readyWanted_ || state_ != State::Open || port_.bytesToWrite() > 0)
        return;
    const LineLook line = lookAtLine();
    if (line.gone) {
        failOutside(HungUp);
        return;
    }
    if (!line.ready) {
        if (!writeNotifier_) {
            writeNotifier_ =
                std::make_unique<QSocketNotifier>(port_.handle(), QSocketNotifier::Write, this);
            connect(writeNotifier_.get(), &QSocketNotifier::activated, this,
                    &SerialLink::checkReady);
        }
        writeNotifier_->setEnabled(true);
        return;
    }
    const std::size_t reported = waitingInDevice();
    const auto modelled = queue_.timeUntilAtMost(static_cast<double>(readyTarget_), reported,
                                                 LineQueue::Clock::now());
    if (modelled > LineQueue::Clock::duration::zero()) {
        readyTimer_.start(nextLook(modelled, reported));
        return;
    }
    readyWanted_ = false;
    Q_EMIT writeReady();
}

// The model's own moment, unless the device's count is what holds the line and has not gone
// down since the last look: a device behind the line's rate, or stuck, is looked at twice as
// long after each look, up to once a second, instead of at the pace of a moving line.
std::chrono::milliseconds SerialLink::nextLook(LineQueue::Clock::duration modelled,
                                               std::size_t reported)
{
    const auto atModel = std::max(std::chrono::ceil<std::chrono::milliseconds>(modelled),
                                  std::chrono::milliseconds(1));
    const bool stuck = reported > 0 && reported >= lastReported_ &&
                       stuckInterval_ > std::chrono::milliseconds::zero();
    lastReported_ = reported;
    stuckInterval_ = stuck ? std::min(std::max(2 * stuckInterval_, atModel), SlowestLook) : atModel;
    return stuckInterval_;
}

void SerialLink::onLineReadable()
{
    if (lookAtLine().gone) {
        failOutside(HungUp);
        return;
    }
    // This link reads nothing; bytes the far end sends are dropped, so that they do not keep
    // the descriptor readable.
    ::tcflush(static_cast<int>(port_.handle()), TCIFLUSH);
}

void SerialLink::startNotifiers()
{
    if (!watchHangUp_)
        return;
    // A hung-up terminal also shows as readable, the only way a write-only port tells of it
    // while nothing is written.
    hangUpNotifier_ =
        std::make_unique<QSocketNotifier>(port_.handle(), QSocketNotifier::Read, this);
    connect(hangUpNotifier_.get(), &QSocketNotifier::activated, this, &SerialLink::onLineReadable);
}

// Before the descriptor closes. A notifier may be the one whose signal led here, so it is
// deleted once that signal has returned.
void SerialLink::dropNotifiers()
{
    for (std::unique_ptr<QSocketNotifier>* notifier : {&writeNotifier_, &hangUpNotifier_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
    readyWanted_ = false;
    readyTimer_.stop();
}

} // namespace varlo
