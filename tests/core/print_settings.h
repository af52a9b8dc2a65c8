#pragma once

#include "protocol/command_decoding.h"
#include "protocol/command_wording.h"

#include <ostream>

// Readable failure messages for decoded commands.
namespace varlo {

inline void PrintTo(const FrequencySetting& f, std::ostream* out)
{
    *out << "frequency " << f.wholeHz << " Hz + " << f.hundredths << "/100, "
         << waveformName(f.waveform) << ", attenuator " << f.attenuatorOn << ", duty adjusted "
         << f.dutyAdjusted;
}

inline void PrintTo(const DutySetting& d, std::ostream* out)
{
    *out << "duty " << d.dutyPercent << " %, " << waveformName(d.waveform) << ", attenuator "
         << d.attenuatorOn;
}

inline void PrintTo(DecodeError e, std::ostream* out)
{
    *out << decodeErrorText(e);
}

} // namespace varlo
