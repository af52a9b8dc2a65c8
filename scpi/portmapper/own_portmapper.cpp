#include "scpi/portmapper/own_portmapper.h"

#include "scpi/network/listening.h"
#include "scpi/vxi11/portmap_types.h"
#include "scpi/vxi11/record_marking.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace varlo::scpi {

namespace {

vxi11::ByteView bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

QByteArray arrayOf(const vxi11::Bytes& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

// One TCP client: its records read as they come, each answered at once.
class PortmapperStream : public QObject {
public:
    PortmapperStream(QTcpSocket* socket, const CorePortSource& corePort)
        : QObject(socket), socket_(socket), corePort_(corePort)
    {
        timeout_.setSingleShot(true);
        timeout_.start(OwnPortmapper::ConnectionTimeoutMs);
        connect(&timeout_, &QTimer::timeout, socket_, &QTcpSocket::abort);
        connect(socket_, &QTcpSocket::readyRead, this, &PortmapperStream::read);
        connect(socket_, &QTcpSocket::disconnected, socket_, &QObject::deleteLater);
    }

private:
    void read()
    {
        for (;;) {
            if (const auto record = reader_.next()) {
                answer(*record);
                continue;
            }
            if (reader_.refused()) {
                socket_->abort();
                return;
            }
            const std::size_t wanted = reader_.wanted();
            if (wanted == 0 || socket_->bytesAvailable() == 0)
                return;
            const QByteArray bytes =
                socket_->read(static_cast<qint64>(std::min(wanted, OwnPortmapper::MaxRecordBytes)));
            reader_.take(bytesOf(bytes));
        }
    }

    void answer(const vxi11::Bytes& record)
    {
        const auto reply = portmapperAnswer(record, corePort_);
        if (!reply) {
            socket_->abort();
            return;
        }
        socket_->write(arrayOf(vxi11::framedRecord(*reply)));
        // A client that asks and never reads is not kept.
        if (socket_->bytesToWrite() > static_cast<qint64>(OwnPortmapper::MaxRecordBytes))
            socket_->abort();
        else
            timeout_.start(OwnPortmapper::ConnectionTimeoutMs);
    }

    QTcpSocket* socket_;
    const CorePortSource& corePort_;
    vxi11::RecordReader reader_{OwnPortmapper::MaxRecordBytes};
    QTimer timeout_;
};

} // namespace

OwnPortmapper::OwnPortmapper(CorePortSource corePort) : corePort_(std::move(corePort))
{
    connect(&tcp_, &QTcpServer::newConnection, this, &OwnPortmapper::accept);
    connect(&udp_, &QUdpSocket::readyRead, this, &OwnPortmapper::answerDatagrams);
}

QString OwnPortmapper::listen(const QHostAddress& address)
{
    if (!tcp_.listen(address, vxi11::PortmapperPort))
        return listenFailureText(tcp_);
    if (!udp_.bind(address, vxi11::PortmapperPort)) {
        const QString why = udp_.errorString();
        tcp_.close();
        return why;
    }
    return {};
}

QString OwnPortmapper::listeningOn() const
{
    return hostPortText(tcp_.serverAddress(), tcp_.serverPort());
}

void OwnPortmapper::accept()
{
    while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
        if (connections_ >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++connections_;
        connect(socket, &QObject::destroyed, this, [this] { --connections_; });
        new PortmapperStream(socket, corePort_);
    }
}

void OwnPortmapper::answerDatagrams()
{
    while (udp_.hasPendingDatagrams()) {
        // One byte more than a record may hold shows a datagram that is too long.
        const QNetworkDatagram datagram =
            udp_.receiveDatagram(static_cast<qint64>(MaxRecordBytes + 1));
        const QByteArray data = datagram.data();
        if (data.size() > static_cast<qsizetype>(MaxRecordBytes))
            continue;
        if (const auto reply = portmapperAnswer(bytesOf(data), corePort_))
            udp_.writeDatagram(arrayOf(*reply), datagram.senderAddress(),
                               static_cast<quint16>(datagram.senderPort()));
    }
}

} // namespace varlo::scpi
