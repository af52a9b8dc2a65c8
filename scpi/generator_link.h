#pragma once

#include "scpi/generator_settings.h"
#include "scpi/line_run.h"
#include "scpi/scpi_status.h"
#include "serial/line_settings.h"
#include "serial/serial_link.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace varlo::scpi {

// The one owner of the generator's line and of the settings it was sent. Clients' lines
// that need the line wait here in the order they came, and run whole, one after another, so
// that one client's commands never come between another's of the same line. Commands are
// paced at the line's own rate: one is written while at most one other is still on its way,
// and a timer, never a blocking wait, brings the next.
class GeneratorLink : public QObject {
    Q_OBJECT

public:
    using Done = std::function<void(std::optional<std::string> reply)>;
    enum class PortState { Open, Gone, Waiting };

    GeneratorLink(SerialLink& link, const LineSettings& settings, bool logCommands);

    // Queues a client's line; `done` gets its reply once it has run, also when that is at
    // once. The session outlives the client, so a line sent just before it left still runs.
    void submit(std::shared_ptr<Session> session, LineRun run, Done done);

    // About a second of line time waits: a client with a line waiting should send no more.
    bool backlogFull() const;
    // What the generator was last sent, for lines that need nothing of the line.
    const GeneratorState& settings() const { return settings_; }
    PortState portState() const { return link_.isOpen() ? PortState::Open : PortState::Gone; }

Q_SIGNALS:
    // Lines have run or commands gone: clients held back may go on.
    void progressed();
    // What the generator holds, or its port, has changed.
    void settingsChanged();
    void portStateChanged();

private:
    struct Job {
        std::shared_ptr<Session> session;
        LineRun run;
        Done done;
    };

    void pump();
    // Milliseconds until the line can take a command of that size, or has carried
    // everything (size 0).
    int millisecondsUntilRoom(std::size_t size) const;
    void write(Job& job, const std::string& command);

    SerialLink& link_;
    double charactersPerSecond_;
    bool logCommands_;
    GeneratorState settings_;
    std::deque<Job> jobs_;
    QTimer timer_;
    bool pumping_ = false;
};

} // namespace varlo::scpi
