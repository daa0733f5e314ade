#include "FtdiRs232.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <QMetaObject>

#include <chrono>
#include <exception>
#include <system_error>

namespace ports {

// ---------------------------------------------------------------------------------------------
// The poller

class TFtdiRs232::TEventThread
{
public:
    // dwModem: the modem lines at the start; a change from there raises OnModemSignal.
    TEventThread(TFtdiRs232& aParent, std::uint64_t iGeneration, int iModem)
        : fParent(aParent), fiGeneration(iGeneration), fiModem(iModem)
    {
        fThread = std::thread([this] { Run(); });
    }
    ~TEventThread() { Stop(); }
    TEventThread(const TEventThread&) = delete;
    TEventThread& operator=(const TEventThread&) = delete;

    void Stop()
    {
        {
            const std::lock_guard<std::mutex> lock(fLock);
            fbStop = true;
        }
        fWake.notify_all();
        if (fThread.joinable())
            fThread.join();
    }

    // The main thread took the received-data notification: the next bytes post a new one.
    void RxTaken() { fbRxPosted = false; }

private:
    void Run()
    {
        // The notifications name the converter object and this opening, never this thread object,
        // which may be gone when they run.
        TFtdiRs232* const parent = &fParent;
        const std::uint64_t iGeneration = fiGeneration;
        std::uint32_t dwModem = fiModem < 0 ? 0 : std::uint32_t(fiModem);
        bool bModemKnown = fiModem >= 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(fLock);
                if (fWake.wait_for(lock, std::chrono::milliseconds(ciPollIntervalMs),
                                   [this] { return fbStop; }))
                    return;
            }
            try {
                bool bGot = false;
                const int iStatus = fParent.FetchQueued(bGot);
                if (iStatus != ftOk) {
                    // The converter is lost (unplugged) or broken: the main thread closes it.
                    Post([parent, iGeneration, iStatus] { parent->PollerError(iGeneration, iStatus); });
                    return;
                }
                std::uint32_t dwStatus = 0;
                if (fParent.Converter()->GetModemStatus(dwStatus) == ftOk) {
                    if (bModemKnown && dwStatus != dwModem)
                        Post([parent, iGeneration] { parent->PollerModemSignal(iGeneration); });
                    dwModem = dwStatus;
                    bModemKnown = true;
                }
                if (bGot && !fbRxPosted.exchange(true))
                    Post([parent, iGeneration] { parent->PollerRxData(iGeneration); });
            } catch (const std::exception& e) {
                const QString sText = ExceptionText(e);
                Post([sText] { TMsg::Error(QStringLiteral("FTDI event thread: %s"), {sText}); });
            }
        }
    }

    // Queues aWork for the main thread; it is dropped when the converter object goes away (the
    // object stops this thread before its main-thread object goes).
    template <class TWork>
    void Post(TWork aWork)
    {
        QMetaObject::invokeMethod(fParent.fMainThread.get(), std::move(aWork), Qt::QueuedConnection);
    }

    TFtdiRs232& fParent;
    const std::uint64_t fiGeneration;
    const int fiModem;
    std::mutex fLock;
    std::condition_variable fWake;
    bool fbStop = false;
    std::atomic<bool> fbRxPosted{false};
    std::thread fThread;
};

// ---------------------------------------------------------------------------------------------
// TFtdiRs232

TFtdiRs232::TFtdiRs232(IFtdiLibrary& aLibrary) : TFtdiD2xx(aLibrary), fMainThread(std::make_unique<QObject>())
{}

TFtdiRs232::~TFtdiRs232()
{
    OnRxData = nullptr;
    OnTxEmpty = nullptr;
    OnModemSignal = nullptr;
    OnError = nullptr;
    StopEventThread();
    Detach();
}

void TFtdiRs232::StopEventThread()
{
    // A posted lambda of the poller refers to it (through the generation only): the thread
    // object goes, its late notifications are dropped by the generation check.
    ++fiGeneration;
    if (fEventThread) {
        fEventThread->Stop();
        fEventThread.reset();
    }
    SetQueued(false);
}

EDeviceOpenSteps TFtdiRs232::OpenConverter(const QString& aDeviceId, int aFlag,
                                           std::unique_ptr<IFtdiConverter>& aConverter)
{
    int iStatus = ftDeviceNotFound;
    if (aFlag == ciFtdiOpenByLocation) {
        const std::int64_t iLocId = UsbPortId(aDeviceId);
        iStatus = iLocId < 0 ? int(ftInvalidParameter)
                             : Library().OpenByLocation(std::uint32_t(iLocId), aConverter);
    } else if (aFlag == ciFtdiOpenByDescription) {
        // The library opens by serial number or location: the description names the first
        // converter that carries it.
        std::vector<TFtdiDeviceInfo> list;
        iStatus = Library().ListDevices(list);
        if (iStatus == ftOk) {
            iStatus = ftDeviceNotFound;
            for (const TFtdiDeviceInfo& info : list) {
                if (info.sDescription == aDeviceId) {
                    iStatus = Library().OpenBySerialNumber(info.sSerialNumber, aConverter);
                    break;
                }
            }
        }
    } else {
        iStatus = Library().OpenBySerialNumber(aDeviceId, aConverter);
    }
    if (!Check(iStatus) || !aConverter) {
        if (iStatus == ftOk)
            Check(ftDeviceNotOpened);
        return eoOpenDevice;
    }
    return eoOpened;
}

EDeviceOpenSteps TFtdiRs232::OpenEx(const QString& aDeviceId, int aFlag)
{
    if (IsOpen())
        Close();
    std::unique_ptr<IFtdiConverter> converter;
    const EDeviceOpenSteps eOpened = OpenConverter(aDeviceId, aFlag, converter);
    if (eOpened != eoOpened)
        return eOpened;
    static const int parityValues[] = {0, 1, 2, 3, 4};
    static const std::uint16_t flowValues[] = {cwFtdiFlowNone, cwFtdiFlowRtsCts, cwFtdiFlowDtrDsr,
                                               cwFtdiFlowXonXoff};
    EDeviceOpenSteps eStep = eoOpened;
    if (!Check(converter->Reset()))
        eStep = eoResetDevice;
    else if (!Check(converter->SetBaudRate(FdwBaudrate)))
        eStep = eoSetBaudrate;
    else if (!Check(converter->SetDataCharacteristics(
                 FeDataBits == ed7bit ? 7 : 8, FeStopBits == es2bit ? ciFtdiStopBits2 : ciFtdiStopBits1,
                 parityValues[FeParity])))
        eStep = eoSetDataBits;
    else if (!Check(converter->SetFlowControl(flowValues[FeFlowControl], FbyXOnByte, FbyXOffByte)))
        eStep = eoSetFlowMode;
    if (eStep != eoOpened) {
        converter->Close();
        return eStep;
    }
    Attach(std::move(converter));
    try {
        SetQueued(true);
        const int iModem = GetModemSignal();
        fEventThread = std::make_unique<TEventThread>(*this, ++fiGeneration, iModem);
    } catch (const std::system_error&) {
        SetQueued(false);
        Detach();
        return eoOpening;
    }
    return eoOpened;
}

void TFtdiRs232::Close()
{
    StopEventThread();
    TFtdiD2xx::Close();
}

bool TFtdiRs232::SetBaudrate(std::uint32_t dwBps)
{
    if (IFtdiConverter* converter = Converter()) {
        if (!Check(converter->SetBaudRate(dwBps)))
            return false;
    }
    FdwBaudrate = dwBps;
    return true;
}

bool TFtdiRs232::SetModemStatus(EModemSignal eSignal, bool bState)
{
    IFtdiConverter* converter = Converter();
    if (!converter)
        return Check(ftInvalidHandle);
    return Check(eSignal == emDTR ? converter->SetDtr(bState) : converter->SetRts(bState));
}

int TFtdiRs232::GetModemSignal()
{
    IFtdiConverter* converter = Converter();
    std::uint32_t dwStatus = 0;
    if (!converter || !Check(converter->GetModemStatus(dwStatus)))
        return -1;
    return int(dwStatus);
}

int TFtdiRs232::GetModemCTS()
{
    const int iStatus = GetModemSignal();
    if (iStatus < 0)
        return -1;
    return (std::uint32_t(iStatus) & cdwFtdiModemCts) != 0 ? 1 : 0;
}

void TFtdiRs232::PollerRxData(std::uint64_t iGeneration)
{
    if (iGeneration != fiGeneration || !fEventThread)
        return;
    fEventThread->RxTaken();
    if (OnRxData)
        OnRxData(this);
}

void TFtdiRs232::PollerModemSignal(std::uint64_t iGeneration)
{
    if (iGeneration == fiGeneration && OnModemSignal)
        OnModemSignal(this);
}

void TFtdiRs232::PollerError(std::uint64_t iGeneration, int iStatus)
{
    if (iGeneration != fiGeneration)
        return;
    // The poller ended itself after posting this; the converter is closed without a further
    // report of its own (closing a lost converter fails as a rule).
    StopEventThread();
    Detach();
    FiErrorCode = iStatus;
    FiLastError = iStatus;
    if (OnError)
        OnError(this);
}

} // namespace ports
