#include "MS8218Transport.h"

#include "transport/FtdiRs232.h"
#include "transport/Serial.h"

#include "core/MsgUtils.h"

namespace instrument {

void TMS8218Transport::Msg(TMsgTypeId aType, const QString& aText, TMsgId aId)
{
    if (FOnMsg)
        FOnMsg(this, aType, aText, aId);
}

// ---------------------------------------------------------------------------------------------
// Serial line

TMS8218Rs232::TMS8218Rs232(TMsgChannel& aMsg, const QString& sDevicePath, const QString& sSettingsFile,
                           int iSocket)
    : fSerial(std::make_unique<ports::TSerial>(aMsg)), fsDevicePath(sDevicePath),
      fsSettingsFile(sSettingsFile), fiSocket(iSocket)
{
    fSerial->SetBaudrate(2400);
    fSerial->SetParity(ports::paEven);
    fSerial->SetDataBits(ports::d8bit);
    fSerial->SetStopBits(ports::st1bit);
    fSerial->SetFlowMode(ports::fcNone);
    fSerial->SetRxEventMode(ports::rxNormal);
    fSerial->SetNotifyErrors(ports::neEvent);
    fSerial->OnRxData = [this](ports::TSerial*) { DataReceived(); };
    fSerial->OnError = [this](ports::TSerial*) { SerialError(); };
}

// The line closes itself when it goes; out of line, where its class is complete.
TMS8218Rs232::~TMS8218Rs232() = default;

QString TMS8218Rs232::PortName() const
{
    return fsDevicePath.isEmpty() ? QStringLiteral("COM%1").arg(fdwPortNo) : fsDevicePath;
}

bool TMS8218Rs232::Open(std::uint32_t aPortNo)
{
    if (fsDevicePath.isEmpty() && (aPortNo < 1 || aPortNo > 9)) {
        Msg(eError, Format(QStringLiteral("Error in serial port %d init"), {aPortNo}), TMsgId(0x32021E));
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(fRxLock);
        fRxQueue.clear();
    }
    // Opened again right after a Close, before the next reading cycle closed the line: it stays open.
    if (fSerial->Active() && aPortNo == fdwPortNo)
        return true;
    fdwPortNo = aPortNo;
    fSerial->SetPort(fsDevicePath.isEmpty()
                         ? ports::TSerial::ComPortPath(fsSettingsFile, int(aPortNo), fiSocket)
                         : fsDevicePath);
    fbOpening = true;
    fSerial->SetActive(true);
    fbOpening = false;
    fbOpen = fSerial->Active();
    if (!fbOpen) {
        Msg(eError, QStringLiteral("Cannot open ") + PortName(), TMsgId(0x320214));
        return false;
    }
    // What the line kept from before it was opened is no current reading.
    fSerial->ZapRxQueue();
    return true;
}

void TMS8218Rs232::Close()
{
    fSerial->SetActive(false);
    fbOpen = fSerial->Active();
    if (fbOpen)
        Msg(eError, QStringLiteral("Cannot close ") + PortName(), TMsgId(0x32020A));
}

void TMS8218Rs232::DataReceived()
{
    QByteArray received;
    char c = 0;
    while (fSerial->Active() && fSerial->Read(c) == 1)
        received.append(c);
    const std::lock_guard<std::mutex> lock(fRxLock);
    fRxQueue.append(received);
    if (fRxQueue.size() > ciRxQueueLimit)
        fRxQueue.remove(0, fRxQueue.size() - ciRxQueueLimit);
}

void TMS8218Rs232::SerialError()
{
    // A line that went away is closed by the component: the next reading cycle switches reading off.
    fbOpen = fSerial->Active();
    // A line setting the line cannot take while it opens (a pseudo-terminal has no parity) leaves
    // it usable: a warning, not an error.
    const bool bSettingRefused =
        fbOpening && fbOpen && fSerial->ErrorCode() == int(QSerialPort::UnsupportedOperationError);
    Msg(bSettingRefused ? eWarning : eError,
        Format(QStringLiteral("Serial port error event number %d!"), {fSerial->ErrorCode()}),
        TMsgId(0x320100));
}

void TMS8218Rs232::ReadRxData(ports::IByteSink& aSink)
{
    QByteArray received;
    {
        const std::lock_guard<std::mutex> lock(fRxLock);
        received.swap(fRxQueue);
    }
    for (const char c : received)
        aSink.Receive(c);
}

// ---------------------------------------------------------------------------------------------
// FTDI converter

TMS8218Ftdi::TMS8218Ftdi(ports::IFtdiLibrary& aLibrary, TMsgChannel& aMsg)
{
    if (ports::TFtdiD2xxBase::Available(aLibrary)) {
        fFtdi = std::make_unique<ports::TFtdiRs232>(aLibrary, aMsg);
        fFtdi->SetBaudrate(2400);
        fFtdi->SetParity(ports::epEven);
    }
}

TMS8218Ftdi::~TMS8218Ftdi() = default;

bool TMS8218Ftdi::IsOpen() const
{
    return fFtdi && fFtdi->IsOpen();
}

bool TMS8218Ftdi::Open(std::uint32_t aPortNo)
{
    if (!fFtdi)
        return false;
    if (fFtdi->OpenEx(ports::TFtdiD2xxBase::UsbPortId(aPortNo), ports::ciFtdiOpenByLocation) !=
        ports::eoOpened)
        return false;
    // The meter's interface cable is powered from these lines.
    fFtdi->SetModemStatus(ports::emRTS, true);
    fFtdi->SetModemStatus(ports::emDTR, true);
    return true;
}

void TMS8218Ftdi::Close()
{
    if (!IsOpen())
        return;
    fFtdi->SetModemStatus(ports::emRTS, false);
    fFtdi->SetModemStatus(ports::emDTR, false);
    fFtdi->Close();
}

void TMS8218Ftdi::ReadRxData(ports::IByteSink& aSink)
{
    if (!fFtdi)
        return;
    QByteArray received;
    fFtdi->Read(received);
    for (const char c : received)
        aSink.Receive(c);
}

} // namespace instrument
