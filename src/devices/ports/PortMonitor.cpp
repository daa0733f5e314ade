#include "PortMonitor.h"

#include "transport/UdpSocket.h"

#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace ports {

namespace {

// A destination on this machine: the monitor then listens on the loopback address only, so that
// nothing from the network can inject into the device under test.
bool IsLoopback(const TNorbeckIpAddress& aAddress)
{
    if (aAddress.Host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    return aAddress.IPv4.startsWith(QLatin1String("127."));
}

} // namespace

TPortMonitor::TPortMonitor(TMsgChannel& aMsg) : fMsg(aMsg) {}

TPortMonitor::~TPortMonitor()
{
    Close();
}

bool TPortMonitor::Init(const QStringList& aConfig)
{
    try {
        if (aConfig.size() < 3 || aConfig[2].trimmed().isEmpty())
            throw EMsg(QStringLiteral("Invalid csv index 2 to list count %d!"), {int(aConfig.size())},
                       TMsgId(), 0);
        fAddress = TNorbeckIpAddress::FromText(aConfig[2].trimmed());
        fiListeningPort = 0;
        if (aConfig.size() > 3 && !aConfig[3].trimmed().isEmpty()) {
            // An integer of the definition: decimal, "$" or "0x" hexadecimal.
            std::int64_t iPort = 0;
            const bool bOk = TextToInteger(aConfig[3].trimmed(), 32, iPort);
            if (!bOk || iPort < 0 || iPort > 65535)
                throw EMsg(QStringLiteral("'%s' is not a valid integer value"), {aConfig[3].trimmed()},
                           TMsgId(), 0);
            fiListeningPort = int(iPort);
        }
        const QString sOptions = aConfig.size() > 4 ? aConfig[4] : QString();
        fbVerbose = sOptions.contains(QLatin1String("Verbose"), Qt::CaseInsensitive);
        fbSilent = sOptions.contains(QLatin1String("Silent"), Qt::CaseInsensitive);
        return true;
    } catch (const std::exception& e) {
        fMsg.Error(QStringLiteral("Invalid monitor configuration: <%s>"),
                   {aConfig.join(QLatin1Char(';')) + QLatin1Char(';')});
        fMsg.Debug(ExceptionText(e));
        return false;
    }
}

bool TPortMonitor::Open()
{
    if (fUdp)
        return false;
    fUdp = std::make_unique<TUdpSocket>();
    fUdp->FOnReceive = [this](const QString& aPeerIp, std::uint16_t aPeerPort, const QByteArray& aBuffer) {
        Received(aPeerIp, aPeerPort, aBuffer);
    };
    fUdp->FOnError = [this](const QString& aMessage, int aErrorCode) { SocketError(aMessage, aErrorCode); };
    fbLoopWarned = false;
    if (fUdp->Start(std::uint16_t(fiListeningPort), IsLoopback(fAddress)))
        return true;
    // The port works on without mirroring.
    Close();
    return false;
}

bool TPortMonitor::Close()
{
    if (!fUdp)
        return false;
    fUdp->FOnReceive = nullptr;
    fUdp->FOnError = nullptr;
    fUdp.reset();
    return true;
}

std::uint16_t TPortMonitor::BoundPort() const
{
    return fUdp ? fUdp->LocalPort() : 0;
}

QString TPortMonitor::BoundAddress() const
{
    return fUdp ? fUdp->LocalAddress() : QString();
}

void TPortMonitor::Display(const QByteArray& aData, bool /*bSent*/)
{
    if (!fUdp || aData.isEmpty())
        return;
    const std::uint16_t wPort = std::uint16_t(fAddress.Port > 0 ? fAddress.Port : 0);
    if (fUdp->SendData(fAddress.HostOrIPv4(), wPort, aData) > 0 && fbVerbose)
        fMsg.Trace(
            QStringLiteral("UDP Monitor [%s:%d]: >%s"),
            {fAddress.HostOrIPv4(), int(wPort), QString::fromLatin1(DumpHead(aData)) + DumpRest(aData)});
}

bool TPortMonitor::FromItself(const QString& aPeerIp, std::uint16_t aPeerPort) const
{
    if (!fUdp || aPeerPort != fUdp->LocalPort())
        return false;
    const QHostAddress peer(aPeerIp);
    return peer.isLoopback() || QNetworkInterface::allAddresses().contains(peer);
}

void TPortMonitor::Received(const QString& aPeerIp, std::uint16_t aPeerPort, const QByteArray& aBuffer)
{
    // A destination that is the monitor's own port hands every mirrored block back: injected, it
    // would be sent and mirrored again without end.
    if (FromItself(aPeerIp, aPeerPort)) {
        if (!fbLoopWarned)
            fMsg.Warning(QStringLiteral("UDP Monitor [%s:%d]: own datagrams are not injected"),
                         {aPeerIp, int(aPeerPort)});
        fbLoopWarned = true;
        return;
    }
    // One character per byte, so the bytes reach the device under test unchanged.
    const QString sText = QString::fromLatin1(aBuffer);
    if (fbVerbose)
        fMsg.Trace(QStringLiteral("UDP Monitor [%s:%d]: <%s"),
                   {aPeerIp, int(aPeerPort), QString::fromLatin1(DumpHead(aBuffer)) + DumpRest(aBuffer)});
    if (!OnInject)
        return;
    try {
        OnInject(sText);
    } catch (const std::exception& e) {
        fMsg.Error(QStringLiteral("UDP Monitor injection failed: %s"), {ExceptionText(e)});
    }
}

void TPortMonitor::SocketError(const QString& aMessage, int aErrorCode)
{
    if (fbSilent)
        return;
    if (aErrorCode == 10054)
        fMsg.Error(QStringLiteral("UDP Monitor \"Destination not reached\" - %d"), {aErrorCode});
    else if (aErrorCode <= 0)
        fMsg.Error(QStringLiteral("UDP Monitor \"%s\""), {aMessage});
    else
        fMsg.Error(QStringLiteral("UDP Monitor \"%s\" - %d"), {aMessage, aErrorCode});
}

} // namespace ports
