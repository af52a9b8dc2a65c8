#include "entry/keypad.h"

#include "entry/number_text.h"

namespace varlo {

std::string pressDigit(PanelState& state, int digit)
{
    const char character = static_cast<char>('0' + digit);
    state.KeyCount += 1;
    if (digit != 0)
        state.SettingsChanged = true;

    if (state.KeyCount == RestartCount) {
        state.KeyCount = 1;
        state.PointEntered = false;
        state.DecimalPlaces = 0;
        state.EntryValue = digit;
        state.EntryText = std::string(1, character);
    } else if (state.PointEntered) {
        state.DecimalPlaces += 1;
        if (digit != 0) {
            // Divided once per place, as the instrument's own keypad does; the display's
            // 15 digits hide the binary remainder (0.06999999999999999 shows as "0.07").
            state.DigitScale = digit;
            for (int place = 0; place < state.DecimalPlaces; ++place)
                state.DigitScale /= 10;
            state.EntryValue += state.DigitScale;
        }
        state.EntryText.push_back(character);
    } else {
        state.EntryValue = state.EntryValue * 10 + digit;
        state.EntryText.push_back(character);
    }

    return digit <= 4 ? state.EntryText : textForm(state.EntryValue);
}

std::optional<std::string> pressPoint(PanelState& state)
{
    state.SettingsChanged = true;
    std::optional<std::string> shown;
    if (!state.PointEntered) {
        state.KeyCount += 1;
        if (state.KeyCount == RestartCount) {
            state.KeyCount = 2;
            state.DecimalPlaces = 0;
            state.EntryValue = 0;
            state.EntryText = "0.";
        } else {
            state.EntryText.push_back('.');
        }
        shown = state.EntryText;
    }
    state.PointEntered = true;
    return shown;
}

std::string pressClear(PanelState& state)
{
    state.KeyCount = 0;
    state.EntryText.clear();
    state.DecimalPlaces = 0;
    state.EntryValue = 0;
    state.DigitScale = 0;
    state.PointEntered = false;
    return state.EntryText;
}

void freqValueChanged(PanelState& state, std::string_view text)
{
    state.EntryValue = numericValue(text);
}

} // namespace varlo
