#pragma once

// The exit statuses that every Varlo program ends with, so that a script reads them the same
// way whichever program it ran.
namespace varlo::exit_status {

inline constexpr int Success = 0;
// The program could not do its work for a reason told on standard error (varlo and
// varlo-instrument: no display; varlo: no network client for --connect; varlo-instrument: no
// pseudo-terminal or no directory to publish it in).
inline constexpr int Failure = 1;
// The command line or its input was refused; nothing was opened or sent.
inline constexpr int Usage = 2;
// The serial port, or the address to listen on, could not be opened.
inline constexpr int PortNotOpened = 3;
// The line failed partway.
inline constexpr int LineFailed = 4;
// Plus the signal's number, for a run cut short by a signal.
inline constexpr int SignalBase = 128;

} // namespace varlo::exit_status
