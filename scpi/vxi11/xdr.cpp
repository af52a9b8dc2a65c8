#include "scpi/vxi11/xdr.h"

#include <utility>

namespace varlo::vxi11 {

namespace {

std::size_t padded(std::size_t size)
{
    return (size + 3) & ~std::size_t{3};
}

std::string textOf(ByteView bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

ByteView XdrReader::take(std::size_t size)
{
    if (!ok_ || size > rest_.size()) {
        refuse();
        return {};
    }
    const ByteView taken = rest_.first(size);
    rest_ = rest_.subspan(size);
    return taken;
}

void XdrReader::refuse()
{
    ok_ = false;
    rest_ = {};
}

std::uint32_t XdrReader::u32()
{
    const ByteView word = take(4);
    if (word.empty())
        return 0;
    return std::uint32_t{word[0]} << 24 | std::uint32_t{word[1]} << 16 |
           std::uint32_t{word[2]} << 8 | std::uint32_t{word[3]};
}

std::int32_t XdrReader::i32()
{
    return static_cast<std::int32_t>(u32());
}

bool XdrReader::boolean()
{
    const std::uint32_t word = u32();
    if (word > 1)
        refuse();
    return word == 1;
}

std::string XdrReader::opaque(std::size_t max)
{
    const std::uint32_t size = u32();
    if (size > max) {
        refuse();
        return {};
    }
    return fixedOpaque(size);
}

void XdrReader::skipOpaque(std::size_t max)
{
    const std::uint32_t size = u32();
    if (size > max)
        refuse();
    else
        take(padded(size));
}

std::string XdrReader::fixedOpaque(std::size_t size)
{
    if (size > rest_.size()) {
        refuse();
        return {};
    }
    const ByteView item = take(padded(size));
    return ok_ ? textOf(item.first(size)) : std::string{};
}

void XdrWriter::u32(std::uint32_t value)
{
    bytes_.insert(bytes_.end(),
                  {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                   static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

void XdrWriter::opaque(std::string_view bytes)
{
    u32(static_cast<std::uint32_t>(bytes.size()));
    fixedOpaque(bytes);
}

void XdrWriter::fixedOpaque(std::string_view bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    bytes_.resize(bytes_.size() + padded(bytes.size()) - bytes.size(), 0);
}

void XdrWriter::raw(ByteView bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

} // namespace varlo::vxi11
