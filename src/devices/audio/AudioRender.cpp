#include "AudioRender.h"

#include "AudioControl.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <algorithm>
#include <vector>

namespace audio {

TAudioRenderThread::TAudioRenderThread(IAudioPlatform& aPlatform, TAudioRender& aParent)
    : fPlatform(aPlatform), fParent(aParent)
{}

void TAudioRenderThread::Init(const QString& sConfig)
{
    fsDeviceName = ConfigValue(sConfig, QStringLiteral("DeviceName"));
    const QString sFunction = ConfigValue(sConfig, QStringLiteral("Function"));
    if (sFunction.compare(QLatin1String("File"), Qt::CaseInsensitive) == 0) {
        auto file = std::make_unique<TWaveRenderFile>();
        file->Load(ConfigValue(sConfig, QStringLiteral("FileName")));
        fWave = std::move(file);
    } else if (sFunction.compare(QLatin1String("Sine"), Qt::CaseInsensitive) == 0) {
        auto sine = std::make_unique<TWaveRenderSynthesizer>();
        sine->SetFrequency(std::uint32_t(ParseInteger(ConfigValue(sConfig, QStringLiteral("Frequency")))));
        sine->SetDuration(std::uint32_t(ParseInteger(ConfigValue(sConfig, QStringLiteral("Duration")))));
        fWave = std::move(sine);
    }
}

void TAudioRenderThread::Run(const TWorkerThread::TLink& aLink)
{
    TAudioRender* pParent = &fParent;
    const auto postError = [&aLink, pParent](const QString& sText) {
        aLink.PostToMain([pParent, sText] {
            if (pParent->OnError)
                pParent->OnError(sText);
        });
    };
    try {
        if (!fWave)
            throw EError(QStringLiteral("No wave configured!"));
        QString sId, sFullName;
        if (!TAudioDeviceList::GetDevice(fPlatform, eaOutput, fsDeviceName, sId, sFullName))
            throw EError(Format(QStringLiteral("Audio render device \"%s\" not found!"), {fsDeviceName}));
        tWAVEFORMATEXTENSIBLE format = fPlatform.MixFormat(eaOutput, sId);
        TWaveBase::AdaptHwFormat(format);
        fWave->SetFormat(format.Format);
        std::unique_ptr<IAudioRenderStream> stream;
        try {
            stream = fPlatform.OpenRender(sId, format.Format, 1000);
        } catch (const std::exception& e) {
            postError(Format(QStringLiteral("Initialisation failed - perhaps not ready! (%s)"),
                             {ExceptionText(e)}));
            return;
        }
        // The first block fills the whole buffer (one second); after it, half a buffer at a
        // time. The blocks go to the server in packets, so that the sound starts with the first
        // packet and a stop request is seen between packets.
        const std::uint32_t nBufferFrames = stream->BufferFrames();
        const std::uint32_t nBlockAlign = format.Format.nBlockAlign;
        std::vector<std::uint8_t> block(std::size_t(nBufferFrames) * nBlockAlign);
        bool bStarted = false;
        const auto stopping = [&aLink] { return aLink.Stopping(); };
        const auto play = [&](std::uint32_t nFrames) {
            const std::uint32_t nPacket = std::max<std::uint32_t>(1, stream->PacketFrames());
            for (std::uint32_t nDone = 0; nDone < nFrames && !aLink.Stopping(); nDone += nPacket) {
                if (!stream->Write(block.data() + std::size_t(nDone) * nBlockAlign,
                                   std::min(nPacket, nFrames - nDone), stopping))
                    return;
                if (!bStarted) {
                    bStarted = true;
                    aLink.PostToMain([pParent] {
                        if (pParent->OnRenderStart)
                            pParent->OnRenderStart();
                    });
                }
            }
        };
        std::uint32_t dwFlags = fWave->Read(block.data(), nBufferFrames);
        if (dwFlags == cBufferData) {
            play(nBufferFrames);
        } else {
            // Nothing to hear at all: the start is reported all the same, the end follows.
            aLink.PostToMain([pParent] {
                if (pParent->OnRenderStart)
                    pParent->OnRenderStart();
            });
        }
        const std::uint32_t nHalf = nBufferFrames / 2;
        while (!aLink.Stopping() && dwFlags != cBufferSilent) {
            dwFlags = fWave->Read(block.data(), nHalf);
            if (dwFlags == cBufferData)
                play(nHalf);
        }
        // An exhausted source plays out; after a stop, closing the stream drops what is buffered.
        if (!aLink.Stopping())
            stream->Drain(stopping);
    } catch (const std::exception& e) {
        postError(ExceptionText(e));
    }
}

TAudioRender::TAudioRender(IAudioPlatform& aPlatform, TWorkerThread& aWorker)
    : fPlatform(aPlatform), fWorker(aWorker)
{}

TAudioRender::~TAudioRender()
{
    Shutdown();
}

bool TAudioRender::Init(const QString& sConfigTerm)
{
    fsConfigTerm = sConfigTerm;
    return true;
}

bool TAudioRender::Start()
{
    if (fWorker.Running())
        return false;
    auto thread = std::make_shared<TAudioRenderThread>(fPlatform, *this);
    thread->Init(fsConfigTerm);
    fWorker.Start([thread](const TWorkerThread::TLink& aLink) { thread->Run(aLink); },
                  [this] {
                      if (OnStopped)
                          OnStopped();
                  },
                  [this](const QString& sText) {
                      if (OnError)
                          OnError(sText);
                  });
    return true;
}

bool TAudioRender::Stop()
{
    return fWorker.RequestStop();
}

void TAudioRender::Shutdown()
{
    fWorker.Stop();
}

} // namespace audio
