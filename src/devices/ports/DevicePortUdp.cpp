#include "DevicePortUdp.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/CmdParameters.h"

#include <limits>

namespace ports {

TDevicePortUdp::TDevicePortUdp(TDeviceContext& aContext) : TDevicePortBase(aContext) {}

TDevicePortUdp::~TDevicePortUdp()
{
    FreeSocket();
}

void TDevicePortUdp::Init(const QString& sDefinition)
{
    ReadTimeout(sDefinition);
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    fAddress = TNorbeckIpAddress::FromText(csv.GetStringTrimmed(3));
    const int iPort = csv.GetInteger(4);
    if (iPort < 0 || iPort > std::numeric_limits<std::uint16_t>::max())
        throw EMsg(QStringLiteral("Invalid UDP port %d!"), {iPort}, TMsgId(0x23010A), 0);
    fwListeningPort = std::uint16_t(iPort);
    UpdatePortId();
}

void TDevicePortUdp::UpdatePortId()
{
    SetPortId(QStringLiteral("UDP%1,%2").arg(fAddress.ToText()).arg(fwListeningPort));
}

void TDevicePortUdp::FreeSocket()
{
    if (!fUdp)
        return;
    fUdp->FOnReceive = nullptr;
    fUdp->FOnError = nullptr;
    fUdp.reset();
}

void TDevicePortUdp::Open()
{
    if (fUdp) {
        Msg().Warning(QStringLiteral("UDP port %d already open."), {fAddress.Port});
    } else {
        if (fwListeningPort == 0)
            throw EMsg(TMsgId(0x23010A), 0);
        fUdp = std::make_unique<TUdpSocket>();
        fUdp->FOnReceive = [this](const QString& aPeerIp, std::uint16_t aPeerPort,
                                  const QByteArray& aBuffer) { Received(aPeerIp, aPeerPort, aBuffer); };
        fUdp->FOnError = [this](const QString& aMessage, int aErrorCode) {
            SocketError(aMessage, aErrorCode);
        };
        // The socket stays even when it could not start, so that a second Open only warns.
        if (!fUdp->Start(fwListeningPort))
            throw EMsg(TMsgId(0x23010A), 0);
    }
    ClearRxData();
    TDevicePortBase::Open();
}

void TDevicePortUdp::Close()
{
    FreeSocket();
    TDevicePortBase::Close();
}

void TDevicePortUdp::Released()
{
    FreeSocket();
}

void TDevicePortUdp::WriteData(const QByteArray& aStream, int iTimeout)
{
    if (!fUdp) {
        SetErrorText(QStringLiteral("UDP is not open!"));
        Msg().Error(QStringLiteral("UDP Socket %s,%d is not open!"),
                    {fAddress.ToText(), int(fwListeningPort)});
        RaiseResult();
        return;
    }
    ClearRxData();
    fbSendFailed = false;
    if (!aStream.isEmpty()) {
        const int iPort = fAddress.Port > 0 ? fAddress.Port : 0;
        if (fUdp->SendData(fAddress.HostOrIPv4(), std::uint16_t(iPort), aStream) > 0)
            Msg().Trace(QStringLiteral("UDP %s:%d: >%s"),
                        {fAddress.HostOrIPv4(), fAddress.Port, Display(aStream, true)});
    } else {
        Msg().Trace(QStringLiteral("UDP : No command wait for data only"));
    }
    // A refused send has already set the quick tick that concludes the wait with its text.
    if (!fbSendFailed)
        StartTimer(iTimeout);
}

void TDevicePortUdp::Received(const QString& aPeerIp, std::uint16_t aPeerPort, const QByteArray& aBuffer)
{
    AppendRxData(aBuffer);
    Display(aBuffer, false);
    Msg().Trace(QStringLiteral("UDP %s:%d: <%s"), {aPeerIp, int(aPeerPort), DisplayForm(RxData())});
    RaiseResult();
}

void TDevicePortUdp::SocketError(const QString& aMessage, int aErrorCode)
{
    fbSendFailed = true;
    ReportPortError(aErrorCode <= 0 ? Format(QStringLiteral("UDP %s"), {aMessage})
                                    : Format(QStringLiteral("UDP %s (%d)"), {aMessage, aErrorCode}));
}

bool TDevicePortUdp::Instruct(const QString& aStatement)
{
    fAddress.Retarget(aStatement);
    UpdatePortId();
    return true;
}

} // namespace ports
