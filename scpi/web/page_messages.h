#pragma once

#include "protocol/generator_state.h"
#include "scpi/generator/generator_link.h"
#include "scpi/web/served_facts.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <optional>
#include <string>

namespace varlo::scpi::web {

// How many clients the program serves at a moment: the SCPI socket's and the open pages.
struct ClientCounts {
    int scpi = 0;
    int pages = 0;
    int vxi11 = 0;
};

// The generator's lock as one page sees it: who holds it, and whether that is this page.
struct PageLock {
    std::optional<std::string> holder;
    bool heldHere = false;
};

// {"status": ...}: what the generator holds, its port and how it stands, the clients, the
// lock ("lock": null, or {"holder": "SOCKET 127.0.0.1:41000", "here": false}), and an
// oscilloscope's sweep while one goes on ("sweep" null otherwise).
QByteArray statusMessage(const GeneratorState& held, GeneratorLink::PortState portState,
                         const QString& portName, ClientCounts clients, const PageLock& lock,
                         const std::optional<SweepWatch::Sweep>& sweep = std::nullopt);

// {"about": ...}: the program's identity and how to reach it, for a page that came in on
// `local`.
QByteArray aboutMessage(const ServedFacts& facts, const QHostAddress& local);

} // namespace varlo::scpi::web
