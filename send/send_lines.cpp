#include "send_lines.h"

namespace varlo::send {

std::string progressText(std::size_t index, std::size_t count, std::string_view shown,
                         Duration left)
{
    const auto tenths = std::max<std::int64_t>(0, (left.count() + 50'000) / 100'000);
    return "step " + std::to_string(index) + " of " + std::to_string(count) + ", " +
           std::string(shown) + ", " + std::to_string(tenths / 10) + "." +
           std::to_string(tenths % 10) + " s left";
}

} // namespace varlo::send
