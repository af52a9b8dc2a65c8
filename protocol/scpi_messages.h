#pragma once

#include "protocol/generator_state.h"

#include <optional>
#include <string>
#include <string_view>

namespace varlo {

// What the panel and varlo-send say to varlo-scpi in plain SCPI, and how they read its
// answers. A command goes as the settings it carries, read from it by the one decoder, so
// that the server builds the very same command again with the one encoder.

// The waveforms as SCPI answers them: "SIN", "SQU", "TRI".
std::string waveformMnemonic(Waveform waveform);
std::optional<Waveform> waveformOfMnemonic(std::string_view mnemonic);

// The settings a command carries, as one message of SCPI settings that has the server send
// that very command:
//   frequency command  FREQ 12500;:FUNC SQU;:OUTP:ATT 0;:FUNC:SQU:DCYC:ADJ 0
//   duty command       FUNC SQU;:OUTP:ATT 0;:FUNC:SQU:DCYC:ALON 60
// The duty-adjusted bit goes as the command has it, not as the generator holds it, and the
// duty command goes alone, without the frequency command the server sends after a duty cycle
// otherwise. nullopt for a text that does not decode.
std::optional<std::string> settingsMessage(std::string_view command);

// How long the server may take to send a front end's settings, from their arrival: well
// within the second the front end waits for its answer, so that settings it has given up on
// are never sent later.
inline constexpr int SettingsDeadlineMs = 800;

// The settings with what makes the server's answer tell whether they went: the client's error
// queue cleared before them, SettingsDeadlineMs given to them, and its first error read after
// them. The answer comes once the server has sent what the line asks for, or dropped it.
std::string confirmedMessage(std::string_view settings);

// The server's error in the answer to a confirmed line, as it words it
// (-222,"Data out of range"); nullopt when it reports none.
std::optional<std::string> errorInAnswer(std::string_view answer);

// A setting refused while another client holds varlo-scpi's lock, as its error queue reports
// it: -203,"Command protected;locked by SOCKET 127.0.0.1:41000", the holder's name after
// LockedByWords.
inline constexpr int CommandProtectedNumber = -203;
inline constexpr const char* CommandProtectedText = "Command protected";
inline constexpr const char* LockedByWords = "locked by ";
// The holder named in such an error; nullopt for any other entry.
std::optional<std::string> lockHolderInError(std::string_view entry);

// What the generator holds, asked in one line; the answer is read by readHeldSettings.
inline constexpr const char* HeldSettingsQuery = "FREQ?;:FUNC?;:OUTP:ATT?;:FUNC:SQU:DCYC?";

// The answer to HeldSettingsQuery ("12500;SQU;20;60"); nullopt when it is not one. A duty
// cycle other than 50 % has been adjusted; of 50 % the answer cannot tell, and it is taken as
// not adjusted.
std::optional<GeneratorState> readHeldSettings(std::string_view answer);

} // namespace varlo
