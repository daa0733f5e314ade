#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class TMsgChannel;

namespace ports {

enum eParity : std::uint8_t
{
    paNone,
    PaOdd,
    paEven,
    paMark,
    paSpace
};
enum eDataBits : std::uint8_t
{
    d7bit,
    d8bit
};
enum eStopBits : std::uint8_t
{
    st1bit,
    st2bit
};
enum eFlowControl : std::uint8_t
{
    fcNone,
    fcRTS_CTS,
    fcRTR_CTS,
    fcDTR_DSR,
    fcXON_XOF
};
enum eOpModes : std::uint8_t
{
    rxNormal,
    rxMessage
};
enum eMsgState : std::uint8_t
{
    msNone,
    msStarted,
    msEnded,
    msDone
};
enum eNotifyErr : std::uint8_t
{
    neDialog,
    neEvent,
    neNone
};
enum eModemOutSignal : std::uint8_t
{
    msRTS,
    msDTR
};

// One serial line. Received data, errors and the end of a transfer are reported through the
// events on the main thread, from the port's own notifications; reads never wait for data and
// writes never hold the main thread: the bytes are queued and leave while the event loop runs.
//
// Error codes: the port's error number (QSerialPort::SerialPortError, for example 6 when the
// device went away) or the component's own negative codes for operations on an inactive port.
class TSerial
{
public:
    static const int caBaudRates[15];
    static bool IsValidBaudrate(int iBaudrate);
    // The device path of COM port number iNumber: the "SerialPorts/COMn" entry of the user's
    // settings file sSettingsFile, else the n-th on-board port "/dev/ttyS(n-1)". For test socket
    // iSocket (above 0) the socket's own group "Socket<k>/SerialPorts/COMn" comes first.
    static QString ComPortPath(const QString& sSettingsFile, int iNumber, int iSocket = 0);
    // The most the port reads ahead of the program.
    static constexpr qint64 ciReadBufferSize = 64 * 1024;
    // The longest message collected between a start and an end byte.
    static constexpr int ciMessageLimit = 4096;

    // aMsg: where the line reports its errors when told to (its device's session).
    explicit TSerial(TMsgChannel& aMsg);
    ~TSerial();

    TSerial(const TSerial&) = delete;
    TSerial& operator=(const TSerial&) = delete;

    // The device path of the line, e.g. "/dev/ttyUSB0".
    const QString& Port() const { return FPort; }
    void SetPort(const QString& sPort);
    int Baudrate() const { return FBaudrate; }
    // EError "Baudrate %d is not valid!" for a rate outside the table.
    void SetBaudrate(int iBaudrate);
    void SetParity(eParity eValue);
    void SetDataBits(eDataBits eValue);
    void SetStopBits(eStopBits eValue);
    void SetFlowMode(eFlowControl eValue);
    void SetRxQueueSize(int iSize);
    void SetTxQueueSize(int iSize) { FTxQSize = iSize; }
    int TxQueueSize() const { return FTxQSize; }
    // Write completion limit in ms: queued bytes that have not left by then are an error.
    void SetTimeout(unsigned uTimeout) { FTimeout = uTimeout; }
    unsigned Timeout() const { return FTimeout; }
    void SetNotifyErrors(eNotifyErr eValue) { FNotifyErrors = eValue; }
    void SetRxEventMode(eOpModes eMode) { FRxEventMode = eMode; }
    void SetMessageBytes(std::uint8_t uStart, std::uint8_t uEnd, int iAppendCount);

    bool Active() const { return FActive; }
    void SetActive(bool bActive);
    bool Operating() const { return FbOperating; }
    int ErrorCode() const { return FErrorCode; }

    int RxWaiting() const;
    int TxWaiting() const;

    // At most one byte, without waiting; the number of bytes read (0 or 1).
    int Read(char& aByte);
    bool Write(char aByte);
    bool Write(const QByteArray& aStream);
    void ZapTxQueue();
    void ZapRxQueue();
    void Break(int iMilliSeconds);
    // False, with the error reported, when the line cannot set the signal (a pseudo-terminal
    // has no DTR, for example).
    bool SetSignal(eModemOutSignal eSignal, bool bState);

    std::function<void(TSerial* aSender)> OnRxData;
    std::function<void(TSerial* aSender, const QByteArray& aRxMessage)> OnMessage;
    std::function<void(TSerial* aSender)> OnError;
    std::function<void(TSerial* aSender)> OnTxEmpty;

private:
    // A line setting: a new value applies at once to an open port (it is opened again).
    template <class T>
    void Change(T& aField, const T& aValue)
    {
        if (aField == aValue)
            return;
        aField = aValue;
        Reopen();
    }
    void Open();
    void Close();
    void Reopen();
    bool ApplySettings();
    void ReportError(int iCode);
    void PortError(QSerialPort::SerialPortError eError);
    void DataReady();
    void CollectMessage(char aByte);
    void BytesWritten();

    QString FPort;
    int FBaudrate = 9600;
    eParity FParity = paNone;
    eDataBits FDataBits = d8bit;
    eStopBits FStopBits = st1bit;
    bool FActive = false;
    int FRxQSize = 1024;
    int FTxQSize = 1024;
    eFlowControl FFlowMode = fcNone;
    eOpModes FRxEventMode = rxNormal;
    std::uint8_t FMessageStartByte = 2;
    std::uint8_t FMessageEndByte = 3;
    int FMessageAppendCount = 0;
    eNotifyErr FNotifyErrors = neDialog;
    int FErrorCode = 0;
    unsigned FTimeout = 10000;
    eMsgState FMessageState = msNone;
    int FMessageAppendLeft = 0;
    QByteArray FMessage;
    bool FbOperating = false;
    bool fbQuiet = false; // errors of optional line settings are not the port's errors

    TMsgChannel& fMsg;
    std::unique_ptr<QSerialPort> fPort;
    QTimer fWriteWatch;
};

} // namespace ports
