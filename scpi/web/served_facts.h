#pragma once

#include <QHostAddress>
#include <QString>

#include <string>
#include <vector>

class QAbstractSocket;

namespace varlo::scpi::web {

// What the page and the identification document say of this program beside its identity:
// its name on the network, its host, its serial port and where its two ports listen.
struct ServedFacts {
    QString serviceName;
    // The name the machine is found by: Avahi's .local name while announced, else the
    // machine's host name.
    QString hostName;
    QString portName;
    QHostAddress scpiAddress;
    quint16 scpiPort = 0;
    quint16 webPort = 0;
    // VXI-11 serves the generator as inst0 on the SCPI socket's address, so the INSTR
    // resource strings are shown, and shown first.
    bool vxi11 = true;
};

// An IPv4 address that came through an IPv6 socket as itself; any other unchanged.
QHostAddress plainAddress(const QHostAddress& address);

// A connection's peer as the journal names it: "127.0.0.1:50312", "[::1]:50312".
std::string peerText(const QAbstractSocket& socket);

// The addresses clients reach the SCPI socket at, for a request that came in on `local`:
// that address when the socket listens on every address, else the one it listens on.
QHostAddress scpiAddressFor(const ServedFacts& facts, const QHostAddress& local);

// The VISA resource strings the generator is opened by (resourceStringsAt): by address, then
// by host name.
std::vector<std::string> resourceStrings(const ServedFacts& facts, const QHostAddress& local);

// The names a request that came in on `local` may give in Host.
std::vector<std::string> servedHostNames(const ServedFacts& facts, const QHostAddress& local);

// The identification document for a request that came in on `local` under `hostHeader`.
std::string identificationFor(const ServedFacts& facts, const QHostAddress& local,
                              const QString& hostHeader);

} // namespace varlo::scpi::web
