#include "send/send_options.h"

#include <algorithm>

namespace varlo::send {

Checked<Request> parseCommandLine(std::span<const std::string> arguments)
{
    // Help and the version are given whatever else the line holds, also after a word that
    // would be refused or in the place of an option's value: they are looked for first.
    const auto given = [&](std::string_view name, std::string_view alias) {
        return std::ranges::any_of(
            arguments, [&](const std::string& word) { return word == name || word == alias; });
    };
    Request request;
    if (given("--help", "-h") || given("--version", "-v")) {
        request.action = given("--help", "-h") ? Request::Action::Help : Request::Action::Version;
        return request;
    }

    const ReadWords read = readWords(arguments, false);

    std::vector<OptionWord> stepWords;
    bool settingsGiven = false;
    for (const OptionWord& word : read.words) {
        if (!word.row || word.row->stepOption) {
            stepWords.push_back(word);
            continue;
        }
        const std::string value = word.values.empty() ? std::string() : word.values.front();
        switch (word.row->option) {
        case Option::List:
            request.action = Request::Action::List;
            break;
        case Option::DryRun:
            request.dryRun = true;
            break;
        case Option::Quiet:
            request.quiet = true;
            break;
        case Option::Port: {
            Checked<PortChoice> port = parsePort(value);
            if (const Refusal* refusal = refusalOf(port))
                return *refusal;
            request.port = std::get<PortChoice>(std::move(port));
            break;
        }
        case Option::Connect: {
            const Checked<ServerAddress> server = parseServerAddress(value);
            if (const Refusal* refusal = refusalOf(server))
                return *refusal;
            request.server = std::get<ServerAddress>(server);
            break;
        }
        case Option::Settings: {
            const Checked<LineSettings> settings = parseSettingsOption(value);
            if (const Refusal* refusal = refusalOf(settings))
                return *refusal;
            request.settings = std::get<LineSettings>(settings);
            settingsGiven = true;
            break;
        }
        case Option::Gap: {
            const Checked<Duration> gap = forOption("--gap", parseTime(value));
            if (const Refusal* refusal = refusalOf(gap))
                return *refusal;
            request.gap = std::get<Duration>(gap);
            break;
        }
        case Option::Script:
            request.scriptFile = value;
            break;
        default:
            break;
        }
    }

    if (request.action == Request::Action::List) {
        if (arguments.size() != 1)
            return Refusal{"--list takes nothing else"};
        return request;
    }
    if (request.scriptFile) {
        if (read.refusal)
            return *read.refusal;
        if (!stepWords.empty())
            return Refusal{"--script takes no frequency or sweep of its own, but \"" +
                           stepWords.front().text + "\" was given"};
    } else {
        if (stepWords.empty() && !read.refusal)
            return Refusal{"nothing to send: give a FREQUENCY, a --sweep or a --script"};
        Checked<Step> step = stepFrom(stepWords, read.refusal);
        if (const Refusal* refusal = refusalOf(step))
            return *refusal;
        request.step = std::get<Step>(std::move(step));
    }
    if (request.port && request.server)
        return Refusal{"--port and --connect exclude each other"};
    // The server's own --settings set its line.
    if (request.server && settingsGiven)
        return Refusal{"--settings is for --port; varlo-scpi sets its own line"};
    if (!request.port && !request.server && !request.dryRun)
        return Refusal{"--port or --connect is required (or --dry-run)"};
    return request;
}

std::string usageText()
{
    return R"(Usage:
  varlo-send [--port PORT | --connect [HOST][:PORT]] [options] FREQUENCY [WAVEFORM]
  varlo-send [--port PORT | --connect [HOST][:PORT]] [options] --sweep START STOP --steps N
             [--log] [--dwell TIME] [WAVEFORM]
  varlo-send [--port PORT | --connect [HOST][:PORT]] [options] --script FILE|-
  varlo-send --list

Sends the function generator's commands, as the Varlo panel's Enter sends them, over a
serial line, or through varlo-scpi while that holds the line.

  --port PORT         COM1 to COM16 (the panel's table; with VARLO_PORT_DIR set, the entry
                      COMn in that directory), or a device path such as /dev/ttyUSB0 or
                      /dev/serial/by-id/... This or --connect is required unless --dry-run
                      or --list is given.
  --connect [HOST][:PORT]
                      through varlo-scpi at HOST:PORT (default 127.0.0.1:5025) while it owns
                      the port: each command goes as the SCPI settings it carries. The word
                      after the option is HOST[:PORT] unless it starts with "-" or is a
                      FREQUENCY or a WAVEFORM. Not with --settings: the server sets its line.
  --settings TEXT     line settings: baud, parity (N, E, O, M, S), data bits, stop bits,
                      separated by commas or single blanks (default 9600,N,8,1).
  FREQUENCY           a number with "." as the decimal mark and an optional unit Hz, kHz or
                      MHz in either case, joined or as the next word: 1000, 12.5kHz,
                      12.5 kHz, 2.5MHz, 0.05Hz. Above 0 (at least 0.01 Hz) and at most
                      100 MHz. Hundredths are taken as the panel takes them.
  WAVEFORM            sine (the default), square or triangle.
  --attenuator on|off the -20 dB attenuator (default off).
  --duty N            duty cycle, a whole number from 20 to 80: sends the duty command first;
                      the frequency commands that follow carry the duty-adjusted mode bit.
  --gap TIME          the pause after a command that is not a sweep step (default 50ms),
                      never shorter than the line takes to carry the command. TIME is a
                      number followed by ms or s.
  --sweep START STOP  N frequency commands from START to STOP inclusive, evenly spaced
  --steps N           (N >= 2), or evenly spaced in the logarithm with --log.
  --log
  --dwell TIME        the time from one step's command to the next (default 100ms). Steps are
                      timed from the first, so delays do not add up. A dwell shorter than one
                      command takes on the line is refused.
  --repeat N          runs the sweep N times on the same schedule.
  --script FILE|-     one step per line, read from FILE or standard input, checked whole
                      before anything is sent:
                        2kHz square --attenuator on      a step (the words of a one-shot call)
                        sweep 1kHz 10kHz --steps 10 --log --dwell 200ms
                        wait 500ms                       adds a pause before the next command
                        # a comment; blank lines are allowed
                      Every line stands alone: what it does not name is sine, attenuator
                      off, duty not adjusted. Each bad line is reported as FILE:LINE:
                      reason, the first 20 of them; so is a script past 16 MiB or a line
                      past 4096 bytes, where the reading stops.
  --dry-run           prints the commands and sends nothing.
  --quiet             no line per command and no progress.
  --list              prints COM1 to COM16 with their devices and states.
  -h, --help          this text.  -v, --version  the version. Either wins wherever it stands.

Each command sent is printed on standard output with what it means, for example
  4D03000004  frequency 12500.00 Hz, square, attenuator off, duty not adjusted
On a terminal, runs longer than about a second show their progress on standard error.

Exit status: 0 everything was sent; 2 usage error or bad input, nothing sent; 3 the port
could not be opened, or the server not reached; 4 the line failed partway, or the server
refused a command or went away (standard error names the last command handed over whole); 128 + the signal number after SIGINT (130), SIGTERM (143) or SIGHUP,
which stop between two commands, never inside one, also while a write waits for the line.
)";
}

} // namespace varlo::send
