#pragma once

#include "FtdiD2xx.h"

#include "core/WorkerThread.h"

#include <atomic>
#include <cstdint>
#include <functional>

class TMsgChannel;

namespace ports {

// The step at which opening a converter stopped; eoOpened is success.
enum EDeviceOpenSteps : std::uint8_t
{
    eoOpened,
    eoSetFlowMode,
    eoSetDataBits,
    eoSetBaudrate,
    eoResetDevice,
    eoOpenDevice,
    eoOpening
};
enum EDataBits : std::uint8_t
{
    ed7bit,
    ed8bit
};
enum EStopBits : std::uint8_t
{
    es1bit,
    es2bit
};
enum EParity : std::uint8_t
{
    epNone,
    epOdd,
    epEven,
    epMark,
    epSpace
};
enum EFlowControl : std::uint8_t
{
    efNone,
    efRtsCts,
    efDtrDsr,
    efXonXoff
};
enum EModemSignal : std::uint8_t
{
    emDTR,
    emRTS
};

// A converter as a serial line. While it is open a poller thread reads what the converter
// received every 50 ms and watches the modem lines; it hands each notification to the main
// thread, where the events are raised. Received bytes wait in the receive queue until Read takes
// them (from the main thread's OnRxData handler, or from another reader thread).
class TFtdiRs232 : public TFtdiD2xx
{
public:
    static constexpr int ciPollIntervalMs = 50;

    // Create on the main thread: the events are raised there. aMsg: where the converter reports
    // (its device's session).
    TFtdiRs232(IFtdiLibrary& aLibrary, TMsgChannel& aMsg);
    ~TFtdiRs232() override;

    // Closes first if open, then opens the converter aDeviceId names (aFlag: ciFtdiOpenBy...;
    // with ciFtdiOpenByLocation a hexadecimal location id), resets it, sets the baud rate, the
    // data bits, stop bits and parity, the flow control, and starts the poller, stopping at the
    // first failure; the step that failed, or eoOpened. A converter that failed is closed again.
    EDeviceOpenSteps OpenEx(const QString& aDeviceId, int aFlag);
    bool Open(const QString& aDeviceId, int aFlag) { return OpenEx(aDeviceId, aFlag) == eoOpened; }
    // Stops the poller and closes the converter; raises "Device closing failed!" when the library
    // reports a failing close (the converter is dropped all the same).
    void Close() override;

    // Settings for the next opening; the baud rate also applies at once to an open converter.
    bool SetBaudrate(std::uint32_t dwBps);
    std::uint32_t Baudrate() const { return FdwBaudrate; }
    void SetDataBits(EDataBits eValue) { FeDataBits = eValue; }
    EDataBits DataBits() const { return FeDataBits; }
    void SetStopBits(EStopBits eValue) { FeStopBits = eValue; }
    EStopBits StopBits() const { return FeStopBits; }
    void SetParity(EParity eValue) { FeParity = eValue; }
    EParity Parity() const { return FeParity; }
    void SetFlowControl(EFlowControl eValue) { FeFlowControl = eValue; }
    EFlowControl FlowControl() const { return FeFlowControl; }
    void SetXOnXOff(std::uint8_t byXOn, std::uint8_t byXOff)
    {
        FbyXOnByte = byXOn;
        FbyXOffByte = byXOff;
    }

    // Sets or clears DTR or RTS; false when the converter is closed or refused.
    bool SetModemStatus(EModemSignal eSignal, bool bState);
    bool SetSignal(EModemSignal eSignal, bool bState) { return SetModemStatus(eSignal, bState); }
    // The modem input lines (cdwFtdiModem bits), -1 on failure.
    int GetModemSignal();
    // 1 when CTS is on, 0 when off, -1 on failure.
    int GetModemCTS();

    // The status that made the poller give the converter up (it was closed then).
    int ErrorCode() const { return FiErrorCode; }

    std::function<void(TFtdiRs232* aSender)> OnRxData;
    std::function<void(TFtdiRs232* aSender)> OnTxEmpty;
    std::function<void(TFtdiRs232* aSender)> OnModemSignal;
    std::function<void(TFtdiRs232* aSender)> OnError;

private:
    TMsgChannel& fMsg;

    EDeviceOpenSteps OpenConverter(const QString& aDeviceId, int aFlag,
                                   std::unique_ptr<IFtdiConverter>& aConverter);
    // The poller's body: every poll interval, what the converter received and its modem lines.
    // iModem: the modem lines at the start (-1 unknown); a change from there is reported.
    void Poll(const TWorkerThread::TLink& aLink, int iModem);
    // Notifications of the poller, on the main thread. Those of an earlier opening never arrive:
    // stopping the poller drops them.
    void PollerRxData();
    void PollerModemSignal();
    void PollerError(int iStatus);
    void StopEventThread();

    // The poller. Transports build on core only, so it is the plain worker thread, stopped with
    // every closing and at the end.
    TWorkerThread fPoller{"tzk-ftdi-poll"};
    // The main thread has not yet taken the last received-data notification.
    std::atomic<bool> fbRxPosted{false};
    std::uint32_t FdwBaudrate = 9600;
    EDataBits FeDataBits = ed8bit;
    EStopBits FeStopBits = es1bit;
    EParity FeParity = epNone;
    EFlowControl FeFlowControl = efNone;
    std::uint8_t FbyXOnByte = 17;
    std::uint8_t FbyXOffByte = 19;
    int FiErrorCode = 0;
};

} // namespace ports
