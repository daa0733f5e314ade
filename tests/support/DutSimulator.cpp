#include "DutSimulator.h"

#include "PseudoTerminal.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <unistd.h>

#include <cerrno>

// One connection or the pseudo-terminal, with the bytes not yet matched by a rule.
struct TDutSimulator::TChannel
{
    QTcpSocket* pSocket = nullptr; // owned by the server
    QHostAddress udpPeer;          // a UDP sender: replies go back to it
    quint16 uUdpPort = 0;
    bool bPty = false;
    QByteArray pending;
    bool bClosed = false;
};

TDutSimulator::TDutSimulator() = default;

TDutSimulator::~TDutSimulator()
{
    StopTcp();
    StopUdp();
    ClosePty();
}

quint16 TDutSimulator::ListenTcp(quint16 uPort)
{
    fServer = std::make_unique<QTcpServer>();
    QObject::connect(fServer.get(), &QTcpServer::newConnection, fServer.get(), [this] { Accept(); });
    if (!fServer->listen(QHostAddress::LocalHost, uPort)) {
        fServer.reset();
        return 0;
    }
    return fServer->serverPort();
}

void TDutSimulator::Accept()
{
    while (QTcpSocket* pSocket = fServer->nextPendingConnection()) {
        ++fiConnections;
        auto channel = std::make_unique<TChannel>();
        channel->pSocket = pSocket;
        TChannel* pChannel = channel.get();
        fChannels.push_back(std::move(channel));
        QObject::connect(pSocket, &QIODevice::readyRead, pSocket,
                         [this, pChannel] { Received(*pChannel, pChannel->pSocket->readAll()); });
        QObject::connect(pSocket, &QAbstractSocket::disconnected, pSocket,
                         [pChannel] { pChannel->bClosed = true; });
        for (const TDutRule& rule : fRules) {
            if (rule.request.isEmpty())
                Answer(*pChannel, rule);
        }
    }
}

void TDutSimulator::DisconnectClients()
{
    for (auto& channel : fChannels) {
        if (channel->pSocket && !channel->bClosed) {
            channel->bClosed = true;
            channel->pSocket->disconnectFromHost();
        }
    }
}

void TDutSimulator::StopTcp()
{
    DisconnectClients();
    fChannels.clear();
    fServer.reset(); // the server deletes its sockets
}

quint16 TDutSimulator::ListenUdp(quint16 uPort)
{
    StopUdp();
    fUdp = std::make_unique<QUdpSocket>();
    if (!fUdp->bind(QHostAddress::LocalHost, uPort)) {
        fUdp.reset();
        return 0;
    }
    QObject::connect(fUdp.get(), &QUdpSocket::readyRead, fUdp.get(), [this] {
        while (fUdp && fUdp->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = fUdp->receiveDatagram();
            TChannel* pChannel = nullptr;
            for (auto& channel : fUdpChannels) {
                if (channel->udpPeer == datagram.senderAddress() &&
                    channel->uUdpPort == quint16(datagram.senderPort()))
                    pChannel = channel.get();
            }
            if (!pChannel) {
                auto channel = std::make_unique<TChannel>();
                channel->udpPeer = datagram.senderAddress();
                channel->uUdpPort = quint16(datagram.senderPort());
                pChannel = channel.get();
                fUdpChannels.push_back(std::move(channel));
            }
            Received(*pChannel, datagram.data());
        }
    });
    return fUdp->localPort();
}

void TDutSimulator::StopUdp()
{
    // The channels stay until the simulator ends: reply chunks still pending refer to them.
    for (auto& channel : fUdpChannels)
        channel->bClosed = true;
    fUdp.reset();
}

QString TDutSimulator::OpenPty()
{
    ClosePty();
    const QString sPath = OpenRawPty(fiPtyMaster);
    if (sPath.isEmpty())
        return {};
    fPtyChannel = std::make_unique<TChannel>();
    fPtyChannel->bPty = true;
    fPtyNotifier = std::make_unique<QSocketNotifier>(fiPtyMaster, QSocketNotifier::Read);
    QObject::connect(fPtyNotifier.get(), &QSocketNotifier::activated, fPtyNotifier.get(), [this] {
        char buffer[4096];
        const ssize_t n = ::read(fiPtyMaster, buffer, sizeof buffer);
        if (n > 0)
            Received(*fPtyChannel, QByteArray(buffer, int(n)));
        else if (n < 0 && errno != EAGAIN)
            fPtyNotifier->setEnabled(false); // nobody has the terminal side open
    });
    return sPath;
}

void TDutSimulator::ClosePty()
{
    fPtyNotifier.reset();
    if (fiPtyMaster >= 0)
        ::close(fiPtyMaster);
    fiPtyMaster = -1;
    if (fPtyChannel)
        fPtyChannel->bClosed = true;
}

void TDutSimulator::Received(TChannel& aChannel, const QByteArray& aData)
{
    fReceived.append(aData);
    fReceivedChunks.push_back(aData);
    if (fbEcho) {
        Write(aChannel, aData);
        return;
    }
    aChannel.pending.append(aData);
    bool bMatched = true;
    while (bMatched) {
        bMatched = false;
        for (const TDutRule& rule : fRules) {
            if (rule.request.isEmpty())
                continue;
            const int iAt = aChannel.pending.indexOf(rule.request);
            if (iAt < 0)
                continue;
            aChannel.pending.remove(0, iAt + rule.request.size());
            Answer(aChannel, rule);
            bMatched = true;
            break;
        }
    }
}

void TDutSimulator::Answer(TChannel& aChannel, const TDutRule& aRule)
{
    TChannel* pChannel = &aChannel;
    int iAt = 0;
    for (const QByteArray& chunk : aRule.replies) {
        if (iAt == 0)
            Write(aChannel, chunk);
        else
            QTimer::singleShot(iAt, &fTimers, [this, pChannel, chunk] { Write(*pChannel, chunk); });
        iAt += aRule.iChunkDelayMs;
    }
    if (aRule.bClose && aChannel.pSocket) {
        QTimer::singleShot(std::max(iAt - aRule.iChunkDelayMs, 0) + 1, &fTimers, [pChannel] {
            if (!pChannel->bClosed) {
                pChannel->bClosed = true;
                pChannel->pSocket->disconnectFromHost();
            }
        });
    }
}

void TDutSimulator::Write(TChannel& aChannel, const QByteArray& aData)
{
    if (aChannel.bClosed)
        return;
    if (aChannel.bPty) {
        if (fiPtyMaster >= 0)
            (void)!::write(fiPtyMaster, aData.constData(), size_t(aData.size()));
    } else if (aChannel.pSocket) {
        aChannel.pSocket->write(aData);
    } else if (fUdp && aChannel.uUdpPort != 0) {
        fUdp->writeDatagram(aData, aChannel.udpPeer, aChannel.uUdpPort);
    }
}

void TDutSimulator::SendToAll(const QByteArray& aData)
{
    for (auto& channel : fChannels)
        Write(*channel, aData);
    for (auto& channel : fUdpChannels)
        Write(*channel, aData);
    if (fPtyChannel)
        Write(*fPtyChannel, aData);
}

namespace {

QByteArray Unescape(const QString& sText)
{
    QByteArray bytes;
    const QByteArray raw = sText.toLatin1();
    for (int i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c != '\\' || i + 1 >= raw.size()) {
            bytes.append(c);
            continue;
        }
        const char e = raw.at(++i);
        if (e == 'r')
            bytes.append('\r');
        else if (e == 'n')
            bytes.append('\n');
        else if (e == 't')
            bytes.append('\t');
        else if (e == 'x' && i + 2 < raw.size()) {
            bytes.append(char(raw.mid(i + 1, 2).toInt(nullptr, 16)));
            i += 2;
        } else
            bytes.append(e);
    }
    return bytes;
}

} // namespace

std::vector<TDutRule> TDutSimulator::ParseDialogue(const QString& sText)
{
    std::vector<TDutRule> rules;
    for (const QString& sRawLine : sText.split(QLatin1Char('\n'))) {
        const QString sLine = sRawLine.trimmed();
        if (sLine.isEmpty() || sLine.startsWith(QLatin1Char('#')))
            continue;
        const int iArrow = sLine.indexOf(QLatin1String("=>"));
        if (iArrow < 0)
            continue;
        TDutRule rule;
        rule.request = Unescape(sLine.left(iArrow).trimmed());
        QStringList parts = sLine.mid(iArrow + 2).split(QLatin1String(" ; "));
        const QString sReply = parts.takeFirst().trimmed();
        for (const QString& sOption : parts) {
            const QString s = sOption.trimmed();
            if (s == QLatin1String("close"))
                rule.bClose = true;
            else if (s.startsWith(QLatin1String("delay=")))
                rule.iChunkDelayMs = s.mid(6).toInt();
        }
        for (const QString& sChunk : sReply.split(QLatin1Char('|')))
            if (!sChunk.isEmpty())
                rule.replies.push_back(Unescape(sChunk));
        rules.push_back(std::move(rule));
    }
    return rules;
}
