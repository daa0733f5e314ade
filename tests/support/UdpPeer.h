#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <vector>

// A program on the other end of a loopback UDP exchange: a device under test that answers each
// datagram with the datagrams it was given, or a tool that watches mirrored traffic and injects.
class TUdpPeer
{
public:
    TUdpPeer()
    {
        fSocket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&fSocket, &QUdpSocket::readyRead, &fSocket, [this] {
            while (fSocket.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = fSocket.receiveDatagram();
                fBlocks.push_back(datagram.data());
                fReceived.append(datagram.data());
                for (const QByteArray& answer : fAnswers)
                    fSocket.writeDatagram(answer, datagram.senderAddress(), quint16(datagram.senderPort()));
            }
        });
    }
    quint16 Port() const { return fSocket.localPort(); }
    void Answer(QList<QByteArray> aAnswers) { fAnswers = std::move(aAnswers); }
    // What arrived, one entry per datagram and all of it in one.
    const std::vector<QByteArray>& Blocks() const { return fBlocks; }
    const QByteArray& Received() const { return fReceived; }
    void SendTo(quint16 uPort, const QByteArray& aData)
    {
        fSocket.writeDatagram(aData, QHostAddress::LocalHost, uPort);
    }

private:
    QUdpSocket fSocket;
    QList<QByteArray> fAnswers;
    std::vector<QByteArray> fBlocks;
    QByteArray fReceived;
};

// A loopback UDP port that nobody holds once this returns.
inline quint16 FreeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}
