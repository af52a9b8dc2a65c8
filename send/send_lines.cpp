#include "send/send_lines.h"

#include <algorithm>
#include <cstdint>

namespace varlo::send {

namespace {

// The length of the well-formed UTF-8 character at the start of the text, 0 where there is
// none: an overlong form, a surrogate, a stray or missing continuation byte.
std::size_t characterLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned low = 0x80; // the second byte's range, narrower after some leads
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned next = byte(i);
        if (next < (i == 1 ? low : 0x80u) || next > (i == 1 ? high : 0xBFu))
            return 0;
    }
    return length;
}

} // namespace

std::string progressText(std::size_t index, std::size_t count, std::string_view shown,
                         Duration left)
{
    const auto tenths = std::max<std::int64_t>(0, (left.count() + 50'000) / 100'000);
    return "step " + std::to_string(index) + " of " + std::to_string(count) + ", " +
           std::string(shown) + ", " + std::to_string(tenths / 10) + "." +
           std::to_string(tenths % 10) + " s left";
}

std::string escapedText(std::string_view text)
{
    constexpr char Hex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = characterLength(text.substr(at));
        // U+0080 to U+009F, the C1 controls, are two bytes: C2 80 to C2 9F.
        const bool control =
            byte < 0x20 || byte == 0x7F ||
            (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0);
        if (length == 0 || control) {
            shown += "\\x";
            shown += Hex[byte >> 4];
            shown += Hex[byte & 0x0F];
            ++at;
            continue;
        }
        shown.append(text.substr(at, length));
        at += length;
    }
    return shown;
}

std::string errorLine(std::string_view message)
{
    return "varlo-send: " + escapedText(message) + "\n";
}

} // namespace varlo::send
