// Numbers through the display form and back: the text shown for a value, read again as the
// display's numeric value, gives the same 15 significant digits (a whole number below 10^15
// exactly), never infinity for a finite value; showing the read-back value again gives the
// same text. The values come from the input's first eight bytes taken as a double and
// from the input read as a display text.

#include "fuzz/fuzz_check.h"

#include "entry/number_text.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The first fifteen significant digits and the decimal exponent, rounded as printf does.
std::string fifteenDigits(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.14e", value);
    return text;
}

void checkRoundTrip(double value)
{
    using namespace varlo;
    const std::string text = textForm(value);
    if (!std::isfinite(value))
        return;
    const double back = numericValue(text);
    FUZZ_CHECK(std::isfinite(back));
    FUZZ_CHECK(textForm(back) == text);
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        FUZZ_CHECK(back == value);
        return;
    }
    FUZZ_CHECK(fifteenDigits(back) == fifteenDigits(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size >= sizeof(double)) {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        checkRoundTrip(value);
    }
    checkRoundTrip(
        varlo::numericValue(std::string_view(reinterpret_cast<const char*>(data), size)));
    return 0;
}
