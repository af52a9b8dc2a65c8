#include "instrument/plot_scale.h"

#include "protocol/command_wording.h"

#include <array>
#include <charconv>

namespace varlo::instrument {

std::optional<std::string> periodText(std::int64_t wholeHz, int hundredths)
{
    const std::int64_t centihertz = wholeHz * 100 + hundredths;
    if (centihertz <= 0)
        return std::nullopt;
    const double seconds = 100.0 / static_cast<double>(centihertz);
    struct Unit {
        double seconds;
        const char* name;
    };
    constexpr std::array<Unit, 4> Units{{{1, "s"}, {1e-3, "ms"}, {1e-6, "\u00b5s"}, {1e-9, "ns"}}};
    // The digits as they will be shown decide the unit, so that 999.9999 us reads 1 ms.
    for (const Unit& unit : Units) {
        std::array<char, 32> digits{};
        const auto written = std::to_chars(digits.data(), digits.data() + digits.size(),
                                           seconds / unit.seconds, std::chars_format::general, 6);
        const std::string shown(digits.data(), written.ptr);
        double value = 0;
        std::from_chars(shown.data(), shown.data() + shown.size(), value);
        if (value >= 1 || &unit == &Units.back())
            return shown + " " + unit.name;
    }
    return std::nullopt;
}

std::string plotScaleText(const GeneratorState& state)
{
    const std::string frequency = frequencyWithUnit(state.wholeHz, state.hundredths);
    if (const auto period = periodText(state.wholeHz, state.hundredths))
        return frequency + ", period " + *period;
    return frequency + ", no period";
}

} // namespace varlo::instrument
