#include "DevicePortRs232.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "execution/CmdParameters.h"

namespace ports {

TDevicePortRs232::TDevicePortRs232(TDeviceContext& aContext)
    : TDevicePortBase(aContext), fSerial(std::make_unique<TSerial>(Msg()))
{
    SetPortId(QStringLiteral("COM?"));
    fSerial->SetDataBits(d8bit);
    fSerial->SetNotifyErrors(neEvent);
    fSerial->OnError = [this](TSerial*) { SerialError(); };
    fByteTimer.setSingleShot(true);
    fByteTimer.setTimerType(Qt::PreciseTimer); // the send byte interval is the engineer's
    QObject::connect(&fByteTimer, &QTimer::timeout, [this] { SendNextByte(); });
}

TDevicePortRs232::~TDevicePortRs232()
{
    fByteTimer.stop();
    fSerial->OnError = nullptr;
    fSerial->OnRxData = nullptr;
}

QString TDevicePortRs232::DevicePath(const QString& sSettingsFile, int iNumber, int iSocket)
{
    return TSerial::ComPortPath(sSettingsFile, iNumber, iSocket);
}

void TDevicePortRs232::Init(const QString& sDefinition)
{
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    // Read in the order timeout, baud rate, interval, port.
    const int iTimeout = csv.GetInteger(2);
    const int iBaudrate = csv.GetInteger(4);
    fiSendByteInterval = csv.GetInteger(5);
    fsPortText = csv.GetStringTrimmed(3);
    SetTimer(iTimeout);
    fSerial->SetBaudrate(iBaudrate);
    if (fsPortText.startsWith(QLatin1Char('/'))) {
        fSerial->SetPort(fsPortText);
        SetPortId(fsPortText);
    } else {
        const int iPort = csv.GetInteger(3);
        if (iPort < 1 || iPort > 255)
            throw EError(Format(QStringLiteral("COM%d is not valid!"), {iPort}));
        fsPortText = QString::number(iPort);
        fSerial->SetPort(DevicePath(Context().Settings().UserFileName(), iPort, Context().WiringSocket()));
        SetPortId(QStringLiteral("COM%1").arg(iPort));
    }
    Msg().Trace(QStringLiteral("Device RS232: %s, %d bps, SBI=%dms, Timeout=%dms"),
                {PortId(), iBaudrate, fiSendByteInterval, iTimeout});
}

void TDevicePortRs232::Open()
{
    fSerial->OnRxData = [this](TSerial*) { DataReceived(); };
    if (fSerial->Active()) {
        Msg().Warning(QStringLiteral("%s already open"), {PortId()});
    } else {
        fSerial->SetActive(true);
        if (!fSerial->Active())
            throw EError(Format(QStringLiteral("Failed to open %s!"), {PortId()}));
    }
    TDevicePortBase::Open();
}

void TDevicePortRs232::Close()
{
    fSerial->OnRxData = nullptr;
    fByteTimer.stop();
    fTxPending.clear();
    fSerial->SetActive(false);
    if (fSerial->Active())
        throw EError(Format(QStringLiteral("Failed to close %s!"), {PortId()}));
    TDevicePortBase::Close();
}

void TDevicePortRs232::Released()
{
    fByteTimer.stop();
    fSerial->OnRxData = nullptr;
    fSerial->SetActive(false);
}

void TDevicePortRs232::WriteData(const QByteArray& aStream, int iTimeout)
{
    if (!fSerial->Active()) {
        SetErrorText(QStringLiteral("Port is not open!"));
        Msg().Error(QStringLiteral("Port %s is not open!"), {fsPortText});
        RaiseResult();
        return;
    }
    ClearRxData();
    if (aStream.isEmpty()) {
        Msg().Trace(QStringLiteral("%s: No command wait for data only"), {PortId()});
        StartTimer(iTimeout);
        return;
    }
    Msg().Trace(QStringLiteral("%s: >%s"), {PortId(), Display(aStream, true)});
    if (fiSendByteInterval <= 1) {
        // One block, or byte by byte without pauses: the line takes them in the same order.
        if (fiSendByteInterval == 1) {
            for (const char c : aStream)
                fSerial->Write(c);
        } else {
            fSerial->Write(aStream);
        }
        StartTimer(iTimeout);
        return;
    }
    // With pauses the bytes leave from a timer, so that the program stays responsive; the
    // response time starts after the pause behind the last byte.
    fTxPending.append(aStream);
    fiTxTimeout = iTimeout;
    if (!fByteTimer.isActive())
        SendNextByte();
}

void TDevicePortRs232::SendNextByte()
{
    if (fTxPending.isEmpty()) {
        Sent();
        return;
    }
    const char c = fTxPending.at(0);
    fTxPending.remove(0, 1);
    if (!fSerial->Write(c)) {
        fTxPending.clear();
        return; // the error concluded the waiting command
    }
    fByteTimer.start(fiSendByteInterval);
}

void TDevicePortRs232::Sent()
{
    StartTimer(fiTxTimeout);
    // What arrived during the pauses is evaluated now that the response time runs.
    if (!RxData().isEmpty())
        RaiseResult();
}

void TDevicePortRs232::DataReceived()
{
    QByteArray received;
    char c = 0;
    while (fSerial->Read(c) == 1)
        received.append(c);
    if (received.isEmpty())
        return;
    AppendRxData(received);
    Msg().Trace(QStringLiteral("%s: <%s"), {PortId(), Display(received, false)});
    if (!fByteTimer.isActive())
        RaiseResult();
}

void TDevicePortRs232::SerialError()
{
    fByteTimer.stop();
    fTxPending.clear();
    const int iCode = fSerial->ErrorCode();
    if (iCode != 0)
        ReportPortError(Format(QStringLiteral("%s error: %d!"), {PortId(), iCode}),
                        Format(QStringLiteral("%s system error code %d!"), {PortId(), iCode}));
    else
        ReportPortError(Format(QStringLiteral("%s error!"), {PortId()}),
                        Format(QStringLiteral("%s system error!"), {PortId()}));
}

} // namespace ports
