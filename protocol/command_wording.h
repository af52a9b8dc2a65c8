#pragma once

#include "protocol/command_decoding.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace varlo {

// The instrument's texts for what it received. One line per command, for example
//   frequency 1000.00 Hz, sine, attenuator off, duty not adjusted
//   duty 51 %, square, attenuator on
//   undecodable "8E3000" (wrong length)
std::string describeCommand(std::string_view text);

// The line a program prints for a command it sent: the command, two blanks, what the
// instrument reads in it ("4D03000004  frequency 12500.00 Hz, square, attenuator off, duty not
// adjusted").
std::string commandLine(std::string_view command);

std::string describeDecoded(const DecodedCommand& command, std::string_view text);

// "sine", "square", "triangle".
std::string waveformName(Waveform waveform);

// Why a text does not decode, e.g. "wrong length".
std::string decodeErrorText(DecodeError error);

// The received bytes in double quotes; quote, backslash and bytes outside printable ASCII
// escaped ("\"", "\\", "\x0D").
std::string quotedBytes(std::string_view bytes);

// An exact frequency in the largest unit it reaches, without trailing zeros:
// 12500.00 Hz -> "12.5 kHz", 1.50 Hz -> "1.5 Hz", 20000000.00 Hz -> "20 MHz".
std::string frequencyWithUnit(std::int64_t wholeHz, int hundredths);

// The largest unit that keeps the number of a frequency at 1 or more; hertz below 1 Hz.
Unit largestUnit(std::int64_t wholeHz);

// The number of an exact frequency in a unit, without trailing zeros: 12500.00 Hz in kHz is
// "12.5", in Hz "12500".
std::string numberInUnit(std::int64_t wholeHz, int hundredths, Unit unit);

// The same in hertz as a plain decimal that any float parser reads: "12500", "0.05", "1.5".
std::string plainHertz(std::int64_t wholeHz, int hundredths);

} // namespace varlo
