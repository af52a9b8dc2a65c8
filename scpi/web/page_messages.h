#pragma once

#include "protocol/generator_state.h"
#include "scpi/generator/generator_link.h"
#include "scpi/web/page_facts.h"
#include "scpi/web/served_facts.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace varlo::scpi::web {

// How many clients of each kind the generator has.
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

// The generator as one page sees it: what it holds, its port and how it stands, the clients,
// the lock, and an oscilloscope's sweep while one goes on.
struct PageStatus {
    GeneratorState held;
    GeneratorLink::PortState portState = GeneratorLink::PortState::Open;
    QString portName;
    ClientCounts clients;
    PageLock lock;
    std::optional<SweepWatch::Sweep> sweep;
};

// What the page shows of that status, each in the element of its id.
std::vector<PageFact> statusFacts(const PageStatus& status);

// What the page shows of the program's identity and how to reach it, for a page that came in
// on `local`.
std::vector<PageFact> aboutFacts(const ServedFacts& facts, const QHostAddress& local);

// {"status": ...}: the status facts as "shown", what the controls are filled with, and the
// lock ("lock": null, or {"holder": "SOCKET 127.0.0.1:41000", "here": false}) for the page to
// mark its settings refused while another client holds it.
QByteArray statusMessage(const PageStatus& status);

// {"about": ...}: the about facts as "shown".
QByteArray aboutMessage(const ServedFacts& facts, const QHostAddress& local);

} // namespace varlo::scpi::web
