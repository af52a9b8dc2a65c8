#pragma once

#include "scpi/generator/generator_lock.h"
#include "scpi/generator/generator_settings.h"
#include "scpi/generator/message_run.h"
#include "scpi/generator/sweep_watch.h"
#include "scpi/language/scpi_status.h"
#include "serial/line_settings.h"
#include "serial/port_choice.h"
#include "serial/serial_link.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace varlo::scpi {

// The one owner of the generator's line and of the settings it was sent. Every client's
// messages that need the line wait here in the order they came and run whole, so that one
// client's commands never come between another's of the same message. A command is written
// while at most one other is on its way, so that another client's setting reaches the
// generator within a command's time and an end or a loss finds little in the device. Nothing
// here waits: the event loop serves every client while the line is busy. The port's states
// and what a setting gets in each are told in varlo-scpi(1).
class GeneratorLink : public QObject {
    Q_OBJECT

public:
    enum class PortState { Open, Stalled, Gone, WaitingForPort };
    // The ways a client comes in, each counted apart for the page's list of clients.
    enum class ClientKind { Socket, Page, Vxi11 };
    using Done = std::function<void(std::optional<std::string> reply)>;

    // A line that has taken nothing for this long, while something was due on it, is
    // stalled. Far longer than the model ever holds a command back at any rate the program
    // takes (a queue of sixteen characters lasts 3.2 s at 50 baud), and short enough that
    // a client waiting on *OPC? hears of the fault well within a lab script's patience.
    static constexpr std::chrono::seconds StallLimit{10};

    // `link` becomes this owner's; the port is not opened yet.
    GeneratorLink(SerialLink& link, const PortChoice& port, const LineSettings& settings,
                  bool logCommands);

    // Opens the port: empty when it is open, else why not, after "cannot open ".
    std::string open();
    // After an open that failed: the port is tried again every second until it opens.
    void waitForPort();

    // Queues a client's line; `done` gets its reply once it has run, also when that is at
    // once. The session outlives the client, so a line sent just before it left still runs.
    void submit(std::shared_ptr<Session> session, MessageRun run, Done done);

    // About a second of line time waits: a client with a line waiting should send no more.
    bool backlogFull() const;
    // What the generator was last sent, for lines that need nothing of the line.
    const GeneratorState& settings() const { return settings_; }
    PortState portState() const { return state_; }
    // The port as the lines on standard error name it: "COM3 (/dev/ttyUSB0)".
    QString portName() const;
    // The clients of a kind connected now; each ClientSession counts itself in and out.
    int clientCount(ClientKind kind) const { return clients_[static_cast<std::size_t>(kind)]; }
    void clientArrived(ClientKind kind);
    void clientLeft(ClientKind kind);
    // The one lock on the generator's settings, which each ClientSession joins and leaves.
    GeneratorLock& lock() { return lock_; }
    // Its holder's name, none while it is free.
    std::optional<std::string> lockHolder() const { return lock_.holder(); }

    // Drops the lines still waiting, as the program ends: how many settings they held.
    std::size_t stop();

    // The oscilloscope's sweep going on now, if one is (SweepWatch).
    std::optional<SweepWatch::Sweep> sweep() const;

Q_SIGNALS:
    // Lines have run or commands gone: clients held back may go on.
    void progressed();
    // What the generator holds (settings()) changed: a command reached the line.
    void settingsChanged();
    void portStateChanged();
    // A client came or went.
    void clientsChanged();
    // The lock was taken or freed. It may come from inside the generator's own work: a slot
    // that runs lines from it is connected queued.
    void lockChanged();
    // An oscilloscope's sweep began, took a step or ended (sweep()).
    void sweepChanged();

private:
    struct Job {
        std::shared_ptr<Session> session;
        MessageRun run;
        Done done;
        long long characters = 0; // its commands still to be written, as counted on arrival
        std::optional<std::chrono::milliseconds> within; // its deadline, from its arrival
        QDeadlineTimer deadline{QDeadlineTimer::Forever};
    };
    enum class Written { Whole, Dropped, Waits };

    std::size_t settingsWaiting() const;
    void pump();
    Written writeCommand(Job& job, const MessageRun::Write& write);
    bool drain(Job& job);
    void finishFront(std::optional<std::string> reply);
    void countGone(Job& job, std::size_t characters);
    void waitForLine(std::size_t queuedAtMost);
    void waitForCommand(const Job& job, const MessageRun::Write& write);
    void onWriteReady();
    void onStalled();
    void lose(const std::string& cause);
    void retry();
    DetailedError openFault(std::int16_t code, const std::string& why) const;
    void setState(PortState state);

    SerialLink& link_;
    PortChoice port_;
    LineSettings lineSettings_;
    std::string name_;
    bool logCommands_;
    GeneratorState settings_;
    std::deque<Job> jobs_;
    // The characters of the commands still to be written, kept as lines come and commands
    // go, and the settings once every waiting line has run, which the count of a new line
    // is planned from.
    long long waitingCharacters_ = 0;
    GeneratorState projected_;

    PortState state_ = PortState::WaitingForPort;
    // Why a setting cannot go now, while the port is not open or the line stalled.
    std::optional<DetailedError> fault_;
    std::string lastOpenFailure_;
    bool headWaits_ = false;
    QTimer stallTimer_;
    QTimer retryTimer_;
    QTimer deadlineTimer_; // the deadline of settings waiting for the line
    bool pumping_ = false;
    std::array<int, 3> clients_{};
    GeneratorLock lock_;
    SweepWatch sweepWatch_;
    QTimer sweepEnd_; // the end of the sweep's window, when no step comes before it
};

} // namespace varlo::scpi
