#include "DevicePortFtdi.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/CmdParameters.h"

namespace ports {

TDevicePortFtdi::TDevicePortFtdi(TDeviceContext& aContext) : TDevicePortBase(aContext)
{
    IFtdiLibrary& library = Context().Part<IFtdiLibrary>();
    if (TFtdiD2xxBase::Available(library)) {
        fFtdi = std::make_unique<TFtdiRs232>(library, Msg());
        fFtdi->OnRxData = [this](TFtdiRs232*) { DataReceived(); };
        fFtdi->OnError = [this](TFtdiRs232*) { ConverterLost(); };
    }
}

TDevicePortFtdi::~TDevicePortFtdi()
{
    Released();
}

void TDevicePortFtdi::Init(const QString& sDefinition)
{
    const bool bAttached = Context().HardwareAttached();
    if (!fFtdi && bAttached)
        throw EMsg(QStringLiteral("FTDI D2xx driver not found!"), TMsgId(0x22010A), 0);
    const TCommaSeparatedValue csv = ParameterFields(sDefinition);
    // Read in the order timeout, baud rate, identification.
    const int iTimeout = csv.GetInteger(2);
    const int iBaudrate = csv.GetInteger(4);
    const QString sIdentification = csv.GetValueTrimmed(3); // quotes belong to the identification
    SetTimer(iTimeout);
    if (!bAttached) {
        const QString sError = TFtdiDetector::IdentificationError(sIdentification);
        if (!sError.isEmpty())
            throw EMsg(sError, TMsgId(0x220114), 0);
        SetPortId(sIdentification);
        return;
    }
    // Stored as it is: a rate the converter refuses fails at Open.
    fFtdi->SetBaudrate(std::uint32_t(iBaudrate));
    fDetector = TFtdiDetector::Instance(fFtdi->Library());
    if (!fDetector->Find(sIdentification, &Msg()))
        throw EMsg(fDetector->ErrorText(), TMsgId(0x220114), 0);
    fsDevSerialNo = fDetector->DeviceSerialNo();
    fdwUsbLocationId = fDetector->UsbLocationId();
    SetPortId(fDetector->DeviceIndication());
    Msg().Trace(QStringLiteral("Device FTDI: %s, serial number %s, %d bps, Timeout=%dms"),
                {PortId(), fsDevSerialNo, iBaudrate, iTimeout});
}

void TDevicePortFtdi::Open()
{
    if (!fFtdi)
        throw EMsg(QStringLiteral("FTDI D2xx driver not found!"), TMsgId(0x22010A), 0);
    if (fFtdi->IsOpen()) {
        Msg().Warning(QStringLiteral("FTDI device %s already open."), {PortId()});
    } else {
        // A converter without a serial number (or one this user may not read) is opened at its
        // location: the first converter without a serial number may be another one.
        const EDeviceOpenSteps eStep =
            fsDevSerialNo.isEmpty()
                ? fFtdi->OpenEx(TFtdiD2xxBase::UsbPortId(fdwUsbLocationId), ciFtdiOpenByLocation)
                : fFtdi->OpenEx(fsDevSerialNo, ciFtdiOpenBySerialNumber);
        const int iStatus = fFtdi->LastError();
        if (eStep != eoOpened && iStatus == ftAccessDenied)
            Msg().Error(QStringLiteral("FTDI device %s: %s"), {PortId(), FtdiAccessHint()});
        switch (eStep) {
        case eoOpened:
            break;
        case eoSetBaudrate:
            throw EMsg(QStringLiteral("Invalid baudrate \"%d\" for FTDI device at %s!"),
                       {qint64(fFtdi->Baudrate()), PortId()}, TMsgId(0x22030D), iStatus);
        case eoResetDevice:
            throw EMsg(QStringLiteral("FTDI device reset failed at %s!"), {PortId()}, TMsgId(0x22030E),
                       iStatus);
        case eoOpenDevice:
            throw EMsg(QStringLiteral("No FTDI device found at %s!"), {PortId()}, TMsgId(0x22030F), iStatus);
        case eoOpening:
            throw EMsg(QStringLiteral("Unknown FTDI device failure at %s!"), {PortId()}, TMsgId(0x220310),
                       iStatus);
        case eoSetFlowMode:
        case eoSetDataBits:
            throw EMsg(TMsgId(0x220314), int(eStep)); // the step is the value part
        }
    }
    TDevicePortBase::Open();
}

void TDevicePortFtdi::Close()
{
    if (fFtdi)
        fFtdi->Close();
    TDevicePortBase::Close();
}

void TDevicePortFtdi::Released()
{
    if (!fFtdi)
        return;
    try {
        fFtdi->Close();
    } catch (const std::exception& e) {
        Msg().Debug(ExceptionText(e));
    }
}

void TDevicePortFtdi::NotOpen()
{
    SetErrorText(QStringLiteral("Port is not open!"));
    Msg().Error(QStringLiteral("Port %s is not open!"), {PortId()});
}

void TDevicePortFtdi::WriteData(const QByteArray& aStream, int iTimeout)
{
    if (!IsOpen()) {
        NotOpen();
        RaiseResult();
        return;
    }
    ClearRxData();
    if (aStream.isEmpty()) {
        Msg().Trace(QStringLiteral("FTDI %s: No command wait for data only"), {PortId()});
    } else if (fFtdi->Write(aStream)) {
        Msg().Trace(QStringLiteral("FTDI %s: >%s"), {PortId(), Display(aStream, true)});
    } else {
        // The waiting command sees the text when it concludes.
        SetErrorText(QStringLiteral("Data not send completely!"));
        Msg().Error(QStringLiteral("FDTI %s: Data not send completely!"), {PortId()});
    }
    StartTimer(iTimeout);
}

void TDevicePortFtdi::DataReceived()
{
    QByteArray received;
    if (!fFtdi || fFtdi->Read(received) <= 0)
        return;
    AppendRxData(received);
    Msg().Trace(QStringLiteral("FTDI %s: <%s"), {PortId(), Display(received, false)});
    RaiseResult();
}

void TDevicePortFtdi::ConverterLost()
{
    // The converter was closed under the port (unplugged). Nothing else reports it; a command
    // that waits for a response must not wait for one that can no longer come.
    Msg().Debug(QStringLiteral("FTDI %s: converter lost (status %d)"), {PortId(), fFtdi->ErrorCode()});
    if (Busy())
        ReportPortError(QStringLiteral("Port is not open!"),
                        Format(QStringLiteral("Port %s is not open!"), {PortId()}));
}

bool TDevicePortFtdi::SwitchCbus(const QString& aStatement)
{
    const int iOpen = aStatement.indexOf(QLatin1Char('['));
    const int iClose = iOpen < 0 ? -1 : aStatement.indexOf(QLatin1Char(']'), iOpen + 1);
    int iMask = 0;
    try {
        if (iClose < 0)
            throw EConvertError(QStringLiteral("no [mask]"));
        iMask = ParseInteger(aStatement.mid(iOpen + 1, iClose - iOpen - 1).trimmed());
    } catch (const EConvertError&) {
        throw EMsg(QStringLiteral("Invalid CBUS statement \"%s\"!"), {aStatement}, TMsgId(0x220000), 0);
    }
    return fFtdi->SetBitMode(std::uint8_t(iMask & 0xFF), cbyFtdiBitModeCbus);
}

bool TDevicePortFtdi::Instruct(const QString& aStatement)
{
    if (!IsOpen()) {
        NotOpen();
        return false;
    }
    static const struct
    {
        const char* sName;
        EModemSignal eSignal;
        bool bState;
    } lines[] = {
        {"SetDTR", emDTR, true}, {"ClrDTR", emDTR, false}, {"SetRTS", emRTS, true}, {"ClrRTS", emRTS, false}};
    for (const auto& line : lines) {
        if (aStatement.compare(QLatin1String(line.sName), Qt::CaseInsensitive) == 0)
            return fFtdi->SetModemStatus(line.eSignal, line.bState);
    }
    if (aStatement.startsWith(QLatin1String("CBBB")))
        return SwitchCbus(aStatement);
    SetErrorText(QStringLiteral("Unknown statement!"));
    Msg().Error(QStringLiteral("Unknown statement: ") + aStatement);
    return false;
}

} // namespace ports
