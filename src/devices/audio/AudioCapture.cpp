#include "AudioCapture.h"

#include "AudioControl.h"

#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QStringList>

#include <mutex>
#include <vector>

namespace audio {

namespace {

// The capture buffer the server keeps for the stream; the loop drains it every half buffer.
constexpr int ciCaptureBufferMs = 1000;

} // namespace

QString ConfigValue(const QString& sConfig, const QString& sName)
{
    for (const QString& sPair : sConfig.split(QLatin1Char(';'))) {
        const int iEqual = sPair.indexOf(QLatin1Char('='));
        if (iEqual > 0 && sPair.left(iEqual) == sName)
            return sPair.mid(iEqual + 1);
    }
    return QString();
}

// The analysers' notification sink: posts to the main thread through the running capture's link.
class TAudioCapture::TSink : public IWaveNotificationSink
{
public:
    explicit TSink(TAudioCapture& aCapture) : fCapture(aCapture) {}
    void SetLink(std::unique_ptr<TWorkerThread::TLink> aLink)
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        fLink = std::move(aLink);
    }
    void PostNotification(EWaveEvent eEvent, std::uint32_t dwChannel, std::int32_t iValue) override
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        if (fLink)
            fLink->PostToMain([this, eEvent, dwChannel, iValue] {
                fCapture.DispatchNotification(eEvent, dwChannel, iValue);
            });
    }

private:
    TAudioCapture& fCapture;
    std::mutex fMutex;
    std::unique_ptr<TWorkerThread::TLink> fLink;
};

// ---------------------------------------------------------------------------------------------
// TAudioCaptureThread

TAudioCaptureThread::TAudioCaptureThread(IAudioPlatform& aPlatform, TAudioCapture& aParent)
    : fPlatform(aPlatform), fParent(aParent)
{}

bool TAudioCaptureThread::Init(const QString& sConfig, IWaveNotificationSink* aMsgWndHandle)
{
    fsDeviceName = ConfigValue(sConfig, QStringLiteral("DeviceName"));
    const QString sFunction = ConfigValue(sConfig, QStringLiteral("Function"));
    const auto is = [&sFunction](const char* s) {
        return sFunction.compare(QLatin1String(s), Qt::CaseInsensitive) == 0;
    };
    if (is("RecordFile")) {
        auto stream = std::make_shared<TWaveCaptureStream>();
        stream->SetFileName(ConfigValue(sConfig, QStringLiteral("FileName")));
        fWave = stream;
    } else if (is("RecordRms")) {
        auto rms = std::make_shared<TWaveCaptureRms>(aMsgWndHandle);
        rms->SetMeasureTime(400);
        fWave = rms;
    } else if (is("RecordAvg")) {
        auto avg = std::make_shared<TWaveCaptureAvg>(aMsgWndHandle);
        avg->InitOffsets(ConfigValue(sConfig, QStringLiteral("Offsets")));
        avg->InitThresholds(ConfigValue(sConfig, QStringLiteral("Thresholds")));
        fWave = avg;
    } else if (is("RecordPeak")) {
        fWave = std::make_shared<TWaveCapturePeak>(aMsgWndHandle);
    } else {
        return false;
    }
    return true;
}

void TAudioCaptureThread::Run(const TWorkerThread::TLink& aLink)
{
    TAudioCapture* pParent = &fParent;
    const auto postError = [&aLink, pParent](const QString& sText) {
        aLink.PostToMain([pParent, sText] {
            if (pParent->OnCaptureError)
                pParent->OnCaptureError(sText);
        });
    };
    try {
        QString sId, sFullName;
        if (!TAudioDeviceList::GetDevice(fPlatform, eaInput, fsDeviceName, sId, sFullName))
            throw EError(Format(QStringLiteral("Audio capture device \"%s\" not found!"), {fsDeviceName}));
        tWAVEFORMATEXTENSIBLE format = fPlatform.MixFormat(eaInput, sId);
        TWaveBase::AdaptHwFormat(format);
        fWave->SetFormat(format.Format);
        std::unique_ptr<IAudioCaptureStream> stream;
        try {
            stream = fPlatform.OpenCapture(sId, format.Format, ciCaptureBufferMs);
        } catch (const std::exception& e) {
            postError(Format(QStringLiteral("Initialisation failed - perhaps not ready! (%s)"),
                             {ExceptionText(e)}));
            return;
        }
        aLink.PostToMain([pParent] {
            if (pParent->OnCaptureStart)
                pParent->OnCaptureStart();
        });
        // Every half buffer the loop takes in all packets received. A stop request ends the wait
        // at once and no packet is taken after it, whatever the source does meanwhile.
        const std::uint32_t nFrames = stream->PacketFrames();
        std::vector<std::uint8_t> packet(std::size_t(nFrames) * format.Format.nBlockAlign);
        const auto stopping = [&aLink] { return aLink.Stopping(); };
        while (!aLink.Stopping()) {
            stream->Wait(ciCaptureBufferMs / 2, stopping);
            while (!aLink.Stopping() && stream->Read(packet.data())) {
                if (!fWave->Write(packet.data(), nFrames))
                    aLink.RequestStop();
            }
        }
        stream.reset();
        fWave->Complete();
        aLink.PostToMain([pParent, wave = fWave] {
            if (pParent->OnCaptureComplete)
                pParent->OnCaptureComplete(*wave);
        });
    } catch (const std::exception& e) {
        postError(ExceptionText(e));
    }
}

// ---------------------------------------------------------------------------------------------
// TAudioCapture

TAudioCapture::TAudioCapture(IAudioPlatform& aPlatform, TWorkerThread& aWorker)
    : fPlatform(aPlatform), fWorker(aWorker)
{}

TAudioCapture::~TAudioCapture()
{
    Shutdown();
}

bool TAudioCapture::Init(const QString& sConfigTerm)
{
    if (sConfigTerm.contains(QLatin1String("Event=On")) && !fMsgWndHandle)
        fMsgWndHandle = std::make_unique<TSink>(*this);
    fsConfigTerm = sConfigTerm;
    return true;
}

bool TAudioCapture::Start()
{
    if (fWorker.Running())
        return false;
    auto thread = std::make_shared<TAudioCaptureThread>(fPlatform, *this);
    if (!thread->Init(fsConfigTerm, fMsgWndHandle.get()))
        return false;
    TSink* pSink = fMsgWndHandle.get();
    fWorker.Start(
        [pSink, thread](const TWorkerThread::TLink& aLink) {
            if (pSink)
                pSink->SetLink(std::make_unique<TWorkerThread::TLink>(aLink));
            thread->Run(aLink);
        },
        [this] {
            if (OnStopped)
                OnStopped();
        },
        [this](const QString& sText) {
            if (OnCaptureError)
                OnCaptureError(sText);
        });
    return true;
}

bool TAudioCapture::Stop()
{
    return fWorker.RequestStop();
}

void TAudioCapture::Shutdown()
{
    fWorker.Stop();
    if (fMsgWndHandle)
        fMsgWndHandle->SetLink(nullptr);
}

void TAudioCapture::ClearWaveEvents()
{
    for (TChannelEvent& event : fWaveEvents)
        event = nullptr;
}

void TAudioCapture::DispatchNotification(EWaveEvent eEvent, std::uint32_t dwChannel, std::int32_t iValue)
{
    const TChannelEvent& event = OnWave(eEvent);
    if (event)
        event(dwChannel, iValue);
}

} // namespace audio
