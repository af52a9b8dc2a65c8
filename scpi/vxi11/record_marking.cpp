#include "scpi/vxi11/record_marking.h"

#include <algorithm>
#include <utility>

namespace varlo::vxi11 {

namespace {

constexpr std::uint32_t LastFragment = 0x80000000U;

} // namespace

std::size_t RecordReader::wanted() const
{
    if (refused_ || recordDone_)
        return 0;
    return inFragment_ ? fragmentLeft_ : sizeof mark_ - markBytes_;
}

std::size_t RecordReader::take(ByteView bytes)
{
    std::size_t taken = 0;
    while (taken < bytes.size() && !refused_ && !recordDone_) {
        const ByteView rest = bytes.subspan(taken);
        if (!inFragment_) {
            const std::size_t part = std::min(rest.size(), sizeof mark_ - markBytes_);
            std::copy_n(rest.begin(), part, mark_ + markBytes_);
            markBytes_ += part;
            taken += part;
            if (markBytes_ == sizeof mark_)
                readMark();
        } else {
            const std::size_t part = std::min(rest.size(), fragmentLeft_);
            record_.insert(record_.end(), rest.begin(), rest.begin() + part);
            fragmentLeft_ -= part;
            taken += part;
        }
        if (inFragment_ && fragmentLeft_ == 0) {
            inFragment_ = false;
            recordDone_ = lastFragment_;
        }
    }
    return taken;
}

void RecordReader::readMark()
{
    const std::uint32_t mark = std::uint32_t{mark_[0]} << 24 | std::uint32_t{mark_[1]} << 16 |
                               std::uint32_t{mark_[2]} << 8 | std::uint32_t{mark_[3]};
    markBytes_ = 0;
    begun_ = true;
    lastFragment_ = (mark & LastFragment) != 0;
    fragmentLeft_ = mark & ~LastFragment;
    if (fragmentLeft_ > maxRecordBytes_ - record_.size()) {
        refused_ = true;
        record_ = {};
        return;
    }
    inFragment_ = true;
}

std::optional<Bytes> RecordReader::next()
{
    if (!recordDone_)
        return std::nullopt;
    recordDone_ = false;
    begun_ = false;
    return std::exchange(record_, {});
}

bool RecordReader::midRecord() const
{
    return !refused_ && !recordDone_ && (markBytes_ > 0 || begun_);
}

Bytes framedRecord(ByteView record)
{
    XdrWriter out;
    out.u32(LastFragment | static_cast<std::uint32_t>(record.size()));
    out.raw(record);
    return out.take();
}

} // namespace varlo::vxi11
