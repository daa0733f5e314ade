#include "Serial.h"

#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QSettings>

#include <algorithm>

namespace ports {

const int TSerial::caBaudRates[15] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                      19200, 38400, 56000, 57600, 115200, 128000, 256000};

bool TSerial::IsValidBaudrate(int iBaudrate)
{
    return std::find(std::begin(caBaudRates), std::end(caBaudRates), iBaudrate) != std::end(caBaudRates);
}

QString TSerial::ComPortPath(const QString& sSettingsFile, int iNumber, int iSocket)
{
    const QString sKey = QStringLiteral("SerialPorts/COM%1").arg(iNumber);
    const QSettings settings(sSettingsFile, QSettings::IniFormat);
    QString sPath;
    if (iSocket > 0)
        sPath = settings.value(QStringLiteral("Socket%1/").arg(iSocket) + sKey).toString().trimmed();
    if (sPath.isEmpty())
        sPath = settings.value(sKey).toString().trimmed();
    return sPath.isEmpty() ? QStringLiteral("/dev/ttyS%1").arg(iNumber - 1) : sPath;
}

TSerial::TSerial(TMsgChannel& aMsg) : fMsg(aMsg)
{
    fWriteWatch.setSingleShot(true);
    fWriteWatch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&fWriteWatch, &QTimer::timeout, [this] {
        // Bytes that the line did not take within the write timeout (held by flow control or a
        // stuck driver) are dropped and reported instead of waited for.
        if (fPort && fPort->bytesToWrite() > 0) {
            fPort->clear(QSerialPort::Output);
            ReportError(QSerialPort::TimeoutError);
        }
    });
}

TSerial::~TSerial()
{
    OnRxData = nullptr;
    OnMessage = nullptr;
    OnError = nullptr;
    OnTxEmpty = nullptr;
    Close();
}

void TSerial::SetPort(const QString& sPort)
{
    Change(FPort, sPort);
}

void TSerial::SetBaudrate(int iBaudrate)
{
    if (!IsValidBaudrate(iBaudrate))
        throw EError(Format(QStringLiteral("Baudrate %d is not valid!"), {iBaudrate}));
    Change(FBaudrate, iBaudrate);
}

void TSerial::SetParity(eParity eValue)
{
    Change(FParity, eValue);
}

void TSerial::SetDataBits(eDataBits eValue)
{
    Change(FDataBits, eValue);
}

void TSerial::SetStopBits(eStopBits eValue)
{
    Change(FStopBits, eValue);
}

void TSerial::SetFlowMode(eFlowControl eValue)
{
    Change(FFlowMode, eValue);
}

void TSerial::SetRxQueueSize(int iSize)
{
    Change(FRxQSize, iSize);
}

void TSerial::SetMessageBytes(std::uint8_t uStart, std::uint8_t uEnd, int iAppendCount)
{
    FMessageStartByte = uStart;
    FMessageEndByte = uEnd;
    FMessageAppendCount = iAppendCount;
}

void TSerial::SetActive(bool bActive)
{
    if (bActive)
        Open();
    else
        Close();
}

void TSerial::Reopen()
{
    if (FActive)
        Open();
}

void TSerial::Open()
{
    if (FActive)
        Close();
    fPort = std::make_unique<QSerialPort>();
    fPort->setPortName(FPort);
    QObject::connect(fPort.get(), &QSerialPort::errorOccurred, fPort.get(),
                     [this](QSerialPort::SerialPortError eError) { PortError(eError); });
    QObject::connect(fPort.get(), &QIODevice::readyRead, fPort.get(), [this] { DataReady(); });
    QObject::connect(fPort.get(), &QIODevice::bytesWritten, fPort.get(), [this] { BytesWritten(); });
    FErrorCode = 0;
    if (!fPort->open(QIODevice::ReadWrite)) {
        fPort.reset();
        return; // reported through errorOccurred
    }
    FActive = true;
    FMessageState = msNone;
    FMessage.clear();
    bool bOk = ApplySettings();
    if (FFlowMode != fcRTS_CTS && FFlowMode != fcDTR_DSR) {
        // Not every line has modem signals (a pseudo-terminal has none): opening goes on without.
        fbQuiet = true;
        fPort->setDataTerminalReady(true);
        fPort->setRequestToSend(true);
        fPort->clearError();
        fbQuiet = false;
    }
    FbOperating = bOk && FErrorCode == 0;
}

bool TSerial::ApplySettings()
{
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    bool bOk = fPort->setBaudRate(FBaudrate);
    bOk = fPort->setDataBits(FDataBits == d7bit ? QSerialPort::Data7 : QSerialPort::Data8) && bOk;
    bOk = fPort->setParity(parities[FParity]) && bOk;
    bOk = fPort->setStopBits(FStopBits == st2bit ? QSerialPort::TwoStop : QSerialPort::OneStop) && bOk;
    QSerialPort::FlowControl eFlow = QSerialPort::NoFlowControl;
    if (FFlowMode == fcRTS_CTS || FFlowMode == fcRTR_CTS)
        eFlow = QSerialPort::HardwareControl;
    else if (FFlowMode == fcXON_XOF)
        eFlow = QSerialPort::SoftwareControl;
    bOk = fPort->setFlowControl(eFlow) && bOk;
    // The receive side drains the port at every notification; the bound only keeps a line that
    // talks while nobody reads from filling the memory.
    fPort->setReadBufferSize(ciReadBufferSize);
    return bOk;
}

void TSerial::Close()
{
    FbOperating = false;
    fWriteWatch.stop();
    if (!fPort)
        return;
    QObject::disconnect(fPort.get(), nullptr, nullptr, nullptr);
    if (fPort->isOpen()) {
        fPort->clear();
        if (FFlowMode != fcRTS_CTS && FFlowMode != fcDTR_DSR) {
            fPort->setDataTerminalReady(false);
            fPort->setRequestToSend(false);
        }
        fPort->close();
    }
    fPort.reset();
    FActive = false;
}

void TSerial::ReportError(int iCode)
{
    FErrorCode = iCode;
    switch (FNotifyErrors) {
    case neEvent:
        if (OnError)
            OnError(this);
        break;
    case neDialog:
        // Nothing below the window shows dialogs: the message log carries the error.
        fMsg.Error(QStringLiteral("Serial port %s: error %d"), {FPort, iCode});
        break;
    case neNone:
        break;
    }
}

void TSerial::PortError(QSerialPort::SerialPortError eError)
{
    if (eError == QSerialPort::NoError || fbQuiet)
        return;
    if (eError == QSerialPort::ResourceError || eError == QSerialPort::DeviceNotFoundError ||
        eError == QSerialPort::ReadError) {
        // The device went away or hung up (a read that fails is a line that has nothing more to
        // give, and would fail again at every notification): the line is no longer usable.
        FbOperating = false;
        fWriteWatch.stop();
        if (fPort) {
            QObject::disconnect(fPort.get(), nullptr, nullptr, nullptr);
            fPort->close();
            fPort.release()->deleteLater(); // we may be inside one of its signals
        }
        FActive = false;
    } else if (fPort) {
        fPort->clearError();
    }
    ReportError(int(eError));
}

int TSerial::RxWaiting() const
{
    return FActive && fPort ? int(fPort->bytesAvailable()) : 0;
}

int TSerial::TxWaiting() const
{
    return FActive && fPort ? int(fPort->bytesToWrite()) : 0;
}

int TSerial::Read(char& aByte)
{
    if (!FActive || !fPort) {
        ReportError(-20);
        return 0;
    }
    return fPort->getChar(&aByte) ? 1 : 0;
}

bool TSerial::Write(char aByte)
{
    if (!FActive || !fPort) {
        ReportError(-10);
        return false;
    }
    return Write(QByteArray(1, aByte));
}

bool TSerial::Write(const QByteArray& aStream)
{
    if (!FActive || !fPort) {
        ReportError(-12);
        return false;
    }
    if (fPort->write(aStream) != aStream.size())
        return false; // reported through errorOccurred
    fPort->flush();   // hand to the driver what it takes now; the rest leaves from the event loop
    if (fPort->bytesToWrite() > 0 && !fWriteWatch.isActive())
        fWriteWatch.start(int(FTimeout));
    return true;
}

void TSerial::BytesWritten()
{
    if (fPort && fPort->bytesToWrite() == 0) {
        fWriteWatch.stop();
        if (OnTxEmpty)
            OnTxEmpty(this);
    } else {
        fWriteWatch.start(int(FTimeout)); // the line is moving: the limit counts from here
    }
}

void TSerial::ZapTxQueue()
{
    if (!FActive || !fPort) {
        ReportError(-30);
        return;
    }
    fPort->clear(QSerialPort::Output);
}

void TSerial::ZapRxQueue()
{
    if (!FActive || !fPort) {
        ReportError(-31);
        return;
    }
    fPort->clear(QSerialPort::Input);
}

void TSerial::Break(int iMilliSeconds)
{
    if (!FActive || !fPort) {
        ReportError(-40);
        return;
    }
    fPort->setBreakEnabled(true);
    QTimer::singleShot(iMilliSeconds, Qt::PreciseTimer, fPort.get(),
                       [this] { fPort->setBreakEnabled(false); });
}

bool TSerial::SetSignal(eModemOutSignal eSignal, bool bState)
{
    if (!FActive || !fPort) {
        ReportError(-50);
        return false;
    }
    return eSignal == msDTR ? fPort->setDataTerminalReady(bState) : fPort->setRequestToSend(bState);
}

void TSerial::DataReady()
{
    if (FRxEventMode == rxMessage && OnMessage) {
        char c = 0;
        while (fPort && fPort->getChar(&c))
            CollectMessage(c);
        return;
    }
    if (OnRxData)
        OnRxData(this);
}

void TSerial::CollectMessage(char aByte)
{
    const auto b = static_cast<std::uint8_t>(aByte);
    if (FMessageState == msEnded) {
        FMessage.append(aByte);
        if (--FMessageAppendLeft <= 0) {
            FMessageState = msDone;
            OnMessage(this, FMessage);
        }
    } else if (b == FMessageStartByte) {
        FMessage = QByteArray(1, aByte);
        FMessageState = msStarted;
    } else if (b == FMessageEndByte) {
        if (FMessageState != msStarted)
            return;
        FMessage.append(aByte);
        FMessageState = msEnded;
        FMessageAppendLeft = FMessageAppendCount;
        if (FMessageAppendCount == 0) {
            FMessageState = msDone;
            OnMessage(this, FMessage);
        }
    } else if (FMessageState == msStarted) {
        FMessage.append(aByte);
        // A start byte followed by endless noise is no message: wait for the next start.
        if (FMessage.size() > ciMessageLimit) {
            FMessage.clear();
            FMessageState = msNone;
        }
    }
}

} // namespace ports
