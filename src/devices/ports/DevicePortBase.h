#pragma once

#include "PortMonitor.h"

#include "execution/AsyncCommand.h"
#include "execution/CmdAnalyser.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CommandOf.h"
#include "execution/Device.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class TCommaSeparatedValue;

namespace ports {

// The common port device: the function table of every port, the receive buffer with its framing,
// and the response timer; a waiting data command holds the device's waiter and is concluded
// through it.
class TDevicePortBase : public TDevice
{
public:
    // The receive buffer keeps at most this many bytes; a device that talks without end loses its
    // oldest bytes instead of the program its memory.
    static constexpr int ciRxDataLimit = 1024 * 1024;

    explicit TDevicePortBase(TDeviceContext& aContext);

    // The device's functions, read by its registration and its constructor.
    static const TCmdCreateCmd::TTable& FunctionTable();
    ~TDevicePortBase() override;

    // Writes the bytes and starts the timer with iTimeout (see StartTimer). A port that is not
    // open sets its not-open text and raises the result event instead.
    virtual void WriteData(const QByteArray& aStream, int iTimeout) = 0;
    // Clears the receive buffer and opens the monitor; ports open their channel first.
    virtual void Open();
    // Closes the monitor and clears the receive buffer; ports close their channel first.
    virtual void Close();
    // A port-specific statement; the base refuses every statement.
    virtual bool Instruct(const QString& aStatement);
    // Clears the error text and writes sData as bytes (one per character).
    void SendCmd(const QString& sData, int iTimeout);

    // 0 when a monitor is already there, 1 when one was attached, -1 on failure.
    int InitMonitor(const QString& sConfig);
    TPortMonitor* Monitor() const { return fMonitor.get(); }

    // Positive: the new interval, then enable; negative: enable with the current interval; 0: leave
    // the timer alone. An interval of 0 or less never fires.
    void StartTimer(int iValue);
    void SetTimer(int iMilliSeconds) { fiInterval = iMilliSeconds; }
    int TimerInterval() const { return fiInterval; }
    void DisableTimer();
    bool IsTimeoutTimerEnable() const { return fbTimerEnabled; }

    // The whole receive buffer as text (one character per byte).
    QString GetRxData() const;
    // Extracts one response framed by the tags; empty while none is complete.
    QByteArray GetRxDataEx(const QByteArray& aStartTag, const QByteArray& aEndTag);
    const QByteArray& RxData() const { return FRxData; }
    void ClearRxData();

    const QString& PortId() const { return FsPortId; }

    // "\"text\"; hex" form of bytes for traces and messages; a long block shows its head and the
    // count of the rest.
    static QString DisplayForm(const QByteArray& aData);
    // The escaped text of received bytes for messages, bounded like DisplayForm.
    static QString DumpText(const QByteArray& aData);
    // The bytes handed to the monitor, and their DisplayForm for a trace line (empty while no sink
    // shows trace lines).
    QString Display(const QByteArray& aData, bool bSent);

    // True while a data command waits on the port.
    bool Busy() const { return Waiter().Busy(); }
    // Calls the waiting command's conclusion routine, if one waits.
    void RaiseResult() { Waiter().OnResult(); }

protected:
    void SetPortId(const QString& sPortId) { FsPortId = sPortId; }
    // Appends received bytes, keeping the buffer within its limit.
    void AppendRxData(const QByteArray& aData);
    // A channel error: the text goes to the waiting command, which is concluded within about a
    // millisecond. The configured response timeout stays for the next waits.
    void ReportPortError(const QString& sText, const QString& sLogText = QString());
    // Reads the response timeout (value 2) of the Device.Create line.
    void ReadTimeout(const QString& sDefinition);

private:
    void TimerEvent();

    std::unique_ptr<TPortMonitor> fMonitor;
    std::unique_ptr<QTimer> fTimer;
    int fiInterval = 0;
    bool fbTimerEnabled = false;
    QString FsPortId = QStringLiteral("?");
    QByteArray FRxData;
    bool fbRxLimitWarned = false;
};

// ---------------------------------------------------------------------------------------------
// Commands of every port

// Opens or closes the port; one object serves every line of its function.
class TCmdOpenClose : public TCommandOf<TDevicePortBase>
{
public:
    TCmdOpenClose(TDevice* aOwner, bool bOpen) : TCommandOf(aOwner), fbOpen(bOpen) {}
    void Execute(const QString& sParameter) override;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;

private:
    bool fbOpen;
};

class TCmdOpen : public TCmdOpenClose
{
public:
    explicit TCmdOpen(TDevice* aOwner) : TCmdOpenClose(aOwner, true) {}
};

class TCmdClose : public TCmdOpenClose
{
public:
    explicit TCmdClose(TDevice* aOwner) : TCmdOpenClose(aOwner, false) {}
};

class TCmdTimeout : public TCommandOf<TDevicePortBase>
{
public:
    using TCommandOf::TCommandOf;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
    unsigned Time() const { return fnTime; }

private:
    unsigned fnTime = 0;
};

class TCmdInitMonitor : public TCommandOf<TDevicePortBase>
{
public:
    using TCommandOf::TCommandOf;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsConfig;
};

class TCmdInstruct : public TCommandOf<TDevicePortBase>
{
public:
    using TCommandOf::TCommandOf;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsStatement;
};

// The message a data command is refused with while another command of its port waits.
TBusyMessage PortBusy(std::uint32_t dwId);

// Sends and/or waits for a framed response and compares it with the expectation. The port calls
// the conclusion routine once per received chunk, when the timer fires and when the port fails.
class TCmdData : public TCommandOf<TDevicePortBase, TAsyncCommand>
{
public:
    // dwBusyId: the ID of the busy message of the command's function.
    TCmdData(TDevice* aOwner, std::uint32_t dwBusyId);

protected:
    // Raises the busy error when another command of the port waits.
    void CheckIdle() const { fClaim.RequireIdle(); }
    // Claims the port with this command's conclusion routine.
    void Wait();
    // Claims the port with another conclusion routine (the JSON functions').
    void WaitWith(std::function<void()> aConclusion);
    void FinishData(ECmdResult eResult);
    void StopPendingWork() override;

    void Conclude();
    void ConcludeWithNoResponse();

    // Reads the tags, the expectation (value iFirst onward) and the optional variable.
    void ReadExpectation(const TCommaSeparatedValue& csv, int iFirst, std::uint32_t dwVariableId);

    QString fsVariableName;
    QString fsStartTag;
    QString fsEndTag;
    QString fsExpected;
    bool fbExpectNoResponse = false;

private:
    TDeviceClaim fClaim;
};

class TCmdDataSend : public TCmdData
{
public:
    explicit TCmdDataSend(TDevice* aOwner) : TCmdData(aOwner, 0x20220A) {}
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;

private:
    QString fsData;
};

class TCmdDataWaitForRsp : public TCmdData
{
public:
    explicit TCmdDataWaitForRsp(TDevice* aOwner) : TCmdData(aOwner, 0x20240A) {}
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;
};

// Sends a query and checks the number in the response against the limits.
class TCmdGetValue : public TCommandOf<TDevicePortBase, TAsyncAnalyser>
{
public:
    explicit TCmdGetValue(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;

private:
    void Conclude();
    void FinishValue(ECmdResult eResult);

    QString fsCmd;
    QString fsStartTag;
    QString fsEndTag;
    TDeviceClaim fClaim;
};

// Registers the family's device types with the device list: "RS232", "TCP.Client", "UDP" and "FTDI".
void RegisterDevices(TDeviceTypes& aTypes);

} // namespace ports
