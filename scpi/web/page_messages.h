#pragma once

#include "protocol/generator_state.h"
#include "scpi/generator/generator_link.h"
#include "scpi/web/page_facts.h"
#include "scpi/web/served_facts.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <vector>

namespace varlo::scpi::web {

// How many clients the program serves at a moment: the SCPI socket's and the open pages.
struct ClientCounts {
    int scpi = 0;
    int pages = 0;
};

// What the page shows of what the generator holds, its port and how it stands, the clients.
std::vector<PageFact> statusFacts(const GeneratorState& held, GeneratorLink::PortState portState,
                                  const QString& portName, ClientCounts clients);

// What the page shows of the program's identity and how to reach it, for a page that came in
// on `local`.
std::vector<PageFact> aboutFacts(const ServedFacts& facts, const QHostAddress& local);

// {"status": ...}: the status facts as "shown", and what the controls are filled with.
QByteArray statusMessage(const GeneratorState& held, GeneratorLink::PortState portState,
                         const QString& portName, ClientCounts clients);

// {"about": ...}: the about facts as "shown".
QByteArray aboutMessage(const ServedFacts& facts, const QHostAddress& local);

} // namespace varlo::scpi::web
