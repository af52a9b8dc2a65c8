#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varlo::vxi11 {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Reads XDR items from a record. Every item is a whole number of 4-byte units, and every read
// checks its length against what is left before it reads or copies anything. The first item
// that cannot be read stops the reader: it and every later read give an empty value, and
// ok() says so, so that a decoder reads its fields one after the other, as the protocol lists
// them, and asks once at the end. Padding is skipped unread, as the system's RPC library does.
class XdrReader {
public:
    explicit XdrReader(ByteView bytes) : rest_(bytes) {}

    std::uint32_t u32();
    std::int32_t i32();
    // 0 or 1; any other word is no bool.
    bool boolean();
    // A length, at most `max` and at most what is left, then that many bytes and padding.
    std::string opaque(std::size_t max);
    std::string string(std::size_t max) { return opaque(max); }
    void skipOpaque(std::size_t max);
    // `size` bytes and padding, without a length before them.
    std::string fixedOpaque(std::size_t size);

    // Every item so far could be read.
    bool ok() const { return ok_; }
    // What follows the items read so far (empty once a read failed).
    ByteView rest() const { return rest_; }
    // For a field whose value the protocol restricts (an enum, a short): not of it, the
    // reader fails as for a short record.
    void refuse();

private:
    ByteView take(std::size_t size);

    ByteView rest_;
    bool ok_ = true;
};

// Writes XDR items, big-endian, each padded with zeros to a 4-byte boundary.
class XdrWriter {
public:
    void u32(std::uint32_t value);
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void boolean(bool value) { u32(value ? 1 : 0); }
    void opaque(std::string_view bytes);
    void string(std::string_view text) { opaque(text); }
    void fixedOpaque(std::string_view bytes);
    void raw(ByteView bytes);

    const Bytes& bytes() const { return bytes_; }
    Bytes take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

} // namespace varlo::vxi11
