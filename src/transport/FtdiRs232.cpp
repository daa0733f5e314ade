#include "FtdiRs232.h"

#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"

#include <chrono>
#include <exception>
#include <system_error>

namespace ports {

// ---------------------------------------------------------------------------------------------
// TFtdiRs232

TFtdiRs232::TFtdiRs232(IFtdiLibrary& aLibrary, TMsgChannel& aMsg) : TFtdiD2xx(aLibrary), fMsg(aMsg) {}

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
    fPoller.Stop();
    SetQueued(false);
}

void TFtdiRs232::Poll(const TWorkerThread::TLink& aLink, int iModem)
{
    std::uint32_t dwModem = iModem < 0 ? 0 : std::uint32_t(iModem);
    bool bModemKnown = iModem >= 0;
    while (!aLink.WaitFor(std::chrono::milliseconds(ciPollIntervalMs))) {
        try {
            bool bGot = false;
            const int iStatus = FetchQueued(bGot);
            if (iStatus != ftOk) {
                // The converter is lost (unplugged) or broken: the main thread closes it.
                aLink.PostToMain([this, iStatus] { PollerError(iStatus); });
                return;
            }
            std::uint32_t dwStatus = 0;
            if (Converter()->GetModemStatus(dwStatus) == ftOk) {
                if (bModemKnown && dwStatus != dwModem)
                    aLink.PostToMain([this] { PollerModemSignal(); });
                dwModem = dwStatus;
                bModemKnown = true;
            }
            if (bGot && !fbRxPosted.exchange(true))
                aLink.PostToMain([this] { PollerRxData(); });
        } catch (const std::exception& e) {
            const QString sText = ExceptionText(e);
            aLink.PostToMain([this, sText] { fMsg.Error(QStringLiteral("FTDI event thread: %s"), {sText}); });
        }
    }
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
        fbRxPosted = false;
        fPoller.Start([this, iModem](const TWorkerThread::TLink& aLink) { Poll(aLink, iModem); });
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

void TFtdiRs232::PollerRxData()
{
    // The next bytes post a new notification.
    fbRxPosted = false;
    if (OnRxData)
        OnRxData(this);
}

void TFtdiRs232::PollerModemSignal()
{
    if (OnModemSignal)
        OnModemSignal(this);
}

void TFtdiRs232::PollerError(int iStatus)
{
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
