#include "scpi/network/client_stream.h"

#include <QHostAddress>

#include <cerrno>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varlo::scpi {

ClientStream::ClientStream(int descriptor, QObject* parent)
    : QObject(parent), descriptor_(descriptor), peer_(peerAddress(descriptor)),
      readable_(descriptor, QSocketNotifier::Read), writable_(descriptor, QSocketNotifier::Write)
{
    ::fcntl(descriptor_, F_SETFL, ::fcntl(descriptor_, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(descriptor_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A client whose machine vanished without closing is found out in time and gives its
    // place back.
    ::setsockopt(descriptor_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    writable_.setEnabled(false);
    // Readable once: the reader then asks until nothing waits, which arms it again.
    connect(&readable_, &QSocketNotifier::activated, this, [this] {
        readable_.setEnabled(false);
        Q_EMIT readyRead();
    });
    connect(&writable_, &QSocketNotifier::activated, this, [this] {
        flush();
        if (bytesToWrite() == 0)
            Q_EMIT bytesWritten();
    });
}

ClientStream::~ClientStream()
{
    close();
}

std::size_t ClientStream::read(char* data, std::size_t size)
{
    // While the notifier is armed, the socket has said that nothing waits.
    if (inputEnded_ || readable_.isEnabled())
        return 0;
    ssize_t got = -1;
    do
        got = ::read(descriptor_, data, size);
    while (got < 0 && errno == EINTR);
    if (got > 0)
        return static_cast<std::size_t>(got);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        readable_.setEnabled(true);
        return 0;
    }
    // 0: the client shut down its sending side; it may still read. An error: it is gone.
    inputEnded_ = true;
    readable_.setEnabled(false);
    if (got < 0)
        breakOff();
    return 0;
}

void ClientStream::write(std::string_view bytes)
{
    if (broken_ || descriptor_ < 0)
        return;
    unsent_.append(bytes);
    flush();
}

void ClientStream::flush()
{
    while (sentOf_ < unsent_.size()) {
        const ssize_t sent =
            ::send(descriptor_, unsent_.data() + sentOf_, unsent_.size() - sentOf_, MSG_NOSIGNAL);
        if (sent > 0) {
            sentOf_ += static_cast<std::size_t>(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writable_.setEnabled(true);
            return;
        } else {
            breakOff();
            return;
        }
    }
    unsent_.clear();
    sentOf_ = 0;
    writable_.setEnabled(false);
}

void ClientStream::breakOff()
{
    broken_ = true;
    inputEnded_ = true;
    unsent_.clear();
    sentOf_ = 0;
    readable_.setEnabled(false);
    writable_.setEnabled(false);
}

void ClientStream::close()
{
    if (descriptor_ < 0)
        return;
    breakOff();
    ::close(descriptor_);
    descriptor_ = -1;
}

std::string peerAddress(int descriptor)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return "an unknown address";
    QHostAddress host(reinterpret_cast<const sockaddr*>(&address));
    bool mapped = false;
    const quint32 ipv4 = host.toIPv4Address(&mapped);
    if (mapped)
        host = QHostAddress(ipv4);
    const quint16 port = address.ss_family == AF_INET6
                             ? ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port)
                             : ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    const std::string text = host.toString().toStdString();
    return (host.protocol() == QAbstractSocket::IPv6Protocol ? "[" + text + "]" : text) + ":" +
           std::to_string(port);
}

} // namespace varlo::scpi
