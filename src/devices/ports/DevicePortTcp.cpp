#include "DevicePortTcp.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/CmdParameters.h"

#include <QEventLoop>
#include <QTimer>

namespace ports {

TDevicePortTcp::TDevicePortTcp(TDeviceContext& aContext)
    : TDevicePortBase(aContext), fClient(std::make_unique<TTcpClient>(Msg(), QStringLiteral("TCP.Client - ")))
{
    fClient->OnRxData = [this](TTcpClient*) { DataReceived(); };
    fClient->OnStateChanged = [this](TTcpBase*) { StateChanged(); };
    fClient->SetDebugOn(true);
}

TDevicePortTcp::~TDevicePortTcp()
{
    fClient->OnRxData = nullptr;
    fClient->OnStateChanged = nullptr;
}

void TDevicePortTcp::Init(const QString& sDefinition)
{
    ReadTimeout(sDefinition);
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    fAddress = TNorbeckIpAddress::FromText(csv.GetStringTrimmed(3));
    UpdatePortId();
}

void TDevicePortTcp::UpdatePortId()
{
    SetPortId(QStringLiteral("TCP client ") + fAddress.ToText());
}

void TDevicePortTcp::Open()
{
    if (fClient->State() == TTcpBase::ciEstablished) {
        Msg().Warning(QStringLiteral("%s already open."), {PortId()});
    } else {
        fClient->Open(fAddress.Host, fAddress.IPv4, fAddress.Port);
        // Wait for the connection while the program's events go on; an attempt that has ended
        // (refused, host unknown, no port given) does not keep the operator waiting.
        if (fClient->Pending()) {
            QEventLoop loop;
            QTimer limit;
            limit.setSingleShot(true);
            limit.setTimerType(Qt::PreciseTimer);
            QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
            auto previous = fClient->OnStateChanged;
            fClient->OnStateChanged = [&](TTcpBase* aSender) {
                previous(aSender);
                if (fClient->State() == TTcpBase::ciEstablished || !fClient->Pending())
                    loop.quit();
            };
            limit.start(ciConnectWait);
            if (fClient->State() != TTcpBase::ciEstablished && fClient->Pending())
                loop.exec();
            fClient->OnStateChanged = previous;
        }
        if (fClient->State() != TTcpBase::ciEstablished) {
            fClient->Close();
            throw EMsg(QStringLiteral("%s connection error \"%s\"!"), {PortId(), fClient->LastError()},
                       TMsgId(0x24010A), 0);
        }
    }
    TDevicePortBase::Open();
}

void TDevicePortTcp::Close()
{
    fClient->Close();
    TDevicePortBase::Close();
}

void TDevicePortTcp::Released()
{
    fClient->Close();
}

void TDevicePortTcp::WriteData(const QByteArray& aStream, int iTimeout)
{
    ClearRxData();
    if (!aStream.isEmpty()) {
        if (fClient->Send(aStream)) {
            Msg().Trace(QStringLiteral("%s: >%s"), {PortId(), Display(aStream, true)});
        } else {
            SetErrorText(QStringLiteral("%s send failed!"), {PortId()});
            Msg().Error(ErrorText());
            RaiseResult();
        }
    } else {
        Msg().Trace(QStringLiteral("%s: No command wait for data only"), {PortId()});
    }
    StartTimer(iTimeout);
}

void TDevicePortTcp::DataReceived()
{
    AppendRxData(fClient->RxData());
    Display(fClient->RxData(), false);
    Msg().TraceLazy([this] { return Format(QStringLiteral("%s: <%s"), {PortId(), DisplayForm(RxData())}); });
    RaiseResult();
}

void TDevicePortTcp::StateChanged()
{
    if (fClient->State() != TTcpBase::ciError)
        return;
    ReportPortError(Format(QStringLiteral("%s \"%s\""), {PortId(), fClient->LastError()}));
}

bool TDevicePortTcp::Instruct(const QString& aStatement)
{
    fAddress.Retarget(aStatement);
    UpdatePortId();
    return true;
}

} // namespace ports
