#include "AudioPlatform.h"

#include "core/MsgExceptions.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

namespace audio {

namespace {

// The server's dB scale reaches minus infinity at muted; the devices report this as the bottom of
// their range, and a value at or below it mutes.
constexpr double cMutedDb = -200.0;

using TClock = std::chrono::steady_clock;

// A local server answers within milliseconds; this bounds a server that hangs.
constexpr std::chrono::milliseconds cServerTimeout(3000);

// One connection to the server on a private, unthreaded main loop, iterated with a deadline by
// the calling thread: nothing is shared between threads, and an unreachable or hanging server
// raises instead of blocking. The loop and the context are released on every path, a failed
// connection included.
class TPulseSession
{
public:
    TPulseSession() : fLoop(pa_mainloop_new())
    {
        if (!fLoop)
            Raise();
        fContext.reset(pa_context_new(pa_mainloop_get_api(fLoop.get()), "TZK"));
        // No autospawn: without a running server the devices are simply not found.
        if (!fContext || pa_context_connect(fContext.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            Raise();
        RunUntil([this] {
            const pa_context_state_t eState = pa_context_get_state(fContext.get());
            return eState == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(eState);
        });
        if (pa_context_get_state(fContext.get()) != PA_CONTEXT_READY)
            Raise();
    }
    TPulseSession(const TPulseSession&) = delete;
    TPulseSession& operator=(const TPulseSession&) = delete;

    pa_context* Context() const { return fContext.get(); }

    // Runs an operation to its end.
    void Wait(pa_operation* pOperation)
    {
        if (!pOperation)
            Raise();
        RunUntil([pOperation] { return pa_operation_get_state(pOperation) != PA_OPERATION_RUNNING; });
        const bool bDone = pa_operation_get_state(pOperation) == PA_OPERATION_DONE;
        pa_operation_unref(pOperation);
        if (!bDone)
            Raise();
    }

    // Iterates the loop until aDone, within the server time-out.
    void RunUntil(const std::function<bool()>& aDone)
    {
        const auto deadline = TClock::now() + cServerTimeout;
        while (!aDone()) {
            if (TClock::now() >= deadline)
                throw EError(QStringLiteral("Sound server timeout"));
            Poll(std::chrono::milliseconds(50));
        }
    }

    // One pass of the loop: waits at most aMaxWait for the server.
    void Poll(std::chrono::microseconds aMaxWait)
    {
        if (pa_mainloop_prepare(fLoop.get(), int(aMaxWait.count())) < 0 ||
            pa_mainloop_poll(fLoop.get()) < 0 || pa_mainloop_dispatch(fLoop.get()) < 0)
            Raise();
    }

    [[noreturn]] void Raise() const
    {
        const int iError = fContext ? pa_context_errno(fContext.get()) : PA_ERR_INTERNAL;
        throw EError(QString::fromUtf8(pa_strerror(iError ? iError : PA_ERR_CONNECTIONREFUSED)));
    }

private:
    struct TLoopFree
    {
        void operator()(pa_mainloop* p) const { pa_mainloop_free(p); }
    };
    struct TContextFree
    {
        void operator()(pa_context* p) const
        {
            pa_context_disconnect(p);
            pa_context_unref(p);
        }
    };

    // Declared in this order so that the context goes before its loop.
    std::unique_ptr<pa_mainloop, TLoopFree> fLoop;
    std::unique_ptr<pa_context, TContextFree> fContext;
};

// Success callback of the setters: a failed request raises when the operation ends.
struct TSuccess
{
    bool bOk = true;
    static void Callback(pa_context*, int iSuccess, void* pData)
    {
        static_cast<TSuccess*>(pData)->bOk = iSuccess != 0;
    }
};

void Confirm(TPulseSession& aSession, pa_operation* pOperation, const TSuccess& aSuccess)
{
    aSession.Wait(pOperation);
    if (!aSuccess.bOk)
        aSession.Raise();
}

float VolumeToDb(pa_volume_t v)
{
    const double r = pa_sw_volume_to_dB(v);
    return r <= cMutedDb ? float(cMutedDb) : float(r);
}

pa_volume_t DbToVolume(float fDb)
{
    return fDb <= float(cMutedDb) ? PA_VOLUME_MUTED : pa_sw_volume_from_dB(double(fDb));
}

template <class TInfo>
TAudioEndpoint EndpointOf(const TInfo& aInfo)
{
    TAudioEndpoint endpoint;
    endpoint.sId = QString::fromUtf8(aInfo.name);
    endpoint.sFriendlyName = QString::fromUtf8(aInfo.description ? aInfo.description : aInfo.name);
    endpoint.iChannelCount = aInfo.channel_map.channels;
    endpoint.dwSampleRate = aInfo.sample_spec.rate;
    // The server's volume runs from muted to its normal volume (0 dB) on a cubic scale, which is
    // what the scalar volume means.
    endpoint.fvMinDb = float(cMutedDb);
    endpoint.fvMaxDb = VolumeToDb(PA_VOLUME_NORM);
    const std::uint32_t nSteps = aInfo.n_volume_steps > 1 ? aInfo.n_volume_steps : PA_VOLUME_NORM + 1;
    endpoint.fvStepDb = (endpoint.fvMaxDb - endpoint.fvMinDb) / float(nSteps - 1);
    for (int ch = 0; ch < aInfo.volume.channels; ++ch) {
        endpoint.volumesDb.push_back(VolumeToDb(aInfo.volume.values[ch]));
        endpoint.volumesScalar.push_back(float(aInfo.volume.values[ch]) / float(PA_VOLUME_NORM));
    }
    endpoint.bMuted = aInfo.mute != 0;
    return endpoint;
}

struct TListing
{
    std::vector<TAudioEndpoint> endpoints;
    QString sDefaultSink;
    QString sDefaultSource;
};

template <class TInfo>
void CollectEndpoint(pa_context*, const TInfo* pInfo, int iEol, void* pData)
{
    if (iEol == 0 && pInfo)
        static_cast<TListing*>(pData)->endpoints.push_back(EndpointOf(*pInfo));
}

void CollectServer(pa_context*, const pa_server_info* pInfo, void* pData)
{
    auto* pListing = static_cast<TListing*>(pData);
    if (pInfo) {
        pListing->sDefaultSink = QString::fromUtf8(pInfo->default_sink_name ? pInfo->default_sink_name : "");
        pListing->sDefaultSource =
            QString::fromUtf8(pInfo->default_source_name ? pInfo->default_source_name : "");
    }
}

std::vector<TAudioEndpoint> List(TPulseSession& aSession, EAudioIoType eType, const QByteArray& aName)
{
    TListing listing;
    aSession.Wait(pa_context_get_server_info(aSession.Context(), CollectServer, &listing));
    pa_context* pContext = aSession.Context();
    if (eType == eaOutput) {
        aSession.Wait(aName.isEmpty()
                          ? pa_context_get_sink_info_list(pContext, CollectEndpoint<pa_sink_info>, &listing)
                          : pa_context_get_sink_info_by_name(pContext, aName.constData(),
                                                             CollectEndpoint<pa_sink_info>, &listing));
    } else {
        aSession.Wait(
            aName.isEmpty()
                ? pa_context_get_source_info_list(pContext, CollectEndpoint<pa_source_info>, &listing)
                : pa_context_get_source_info_by_name(pContext, aName.constData(),
                                                     CollectEndpoint<pa_source_info>, &listing));
    }
    const QString& sDefault = eType == eaOutput ? listing.sDefaultSink : listing.sDefaultSource;
    for (TAudioEndpoint& endpoint : listing.endpoints)
        endpoint.bDefault = endpoint.sId == sDefault;
    return listing.endpoints;
}

// The server's form of the 16-bit PCM stream format.
pa_sample_spec StreamFormat(const tWAVEFORMATEX& aFormat)
{
    pa_sample_spec format;
    format.format = PA_SAMPLE_S16LE;
    format.rate = aFormat.nSamplesPerSec;
    format.channels = std::uint8_t(aFormat.nChannels);
    return format;
}

std::uint32_t FramesOf(const tWAVEFORMATEX& aFormat, int iMs)
{
    return std::uint32_t(std::uint64_t(aFormat.nSamplesPerSec) * std::uint64_t(iMs) / 1000);
}

// A stream on a session of its own, iterated by the stream's thread alone. That thread never
// waits for the server beyond what its caller allows: an endpoint that takes or delivers nothing
// (suspended, stalled) only makes the waits run out.
class TPulseStream
{
public:
    TPulseStream(const QString& sId, pa_stream_direction_t eDirection, const tWAVEFORMATEX& aFormat,
                 const pa_buffer_attr& aAttr)
    {
        const pa_sample_spec format = StreamFormat(aFormat);
        const bool bRecord = eDirection == PA_STREAM_RECORD;
        fStream.reset(pa_stream_new(fSession.Context(), bRecord ? "capture" : "render", &format, nullptr));
        if (!fStream)
            fSession.Raise();
        // The latency a stream asks for sets the latency of its endpoint.
        const QByteArray id = sId.toUtf8();
        const int iResult = bRecord ? pa_stream_connect_record(fStream.get(), id.constData(), &aAttr,
                                                               PA_STREAM_ADJUST_LATENCY)
                                    : pa_stream_connect_playback(fStream.get(), id.constData(), &aAttr,
                                                                 PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
        if (iResult < 0)
            fSession.Raise();
        fSession.RunUntil([this] {
            const pa_stream_state_t eState = pa_stream_get_state(fStream.get());
            return eState == PA_STREAM_READY || !PA_STREAM_IS_GOOD(eState);
        });
        Check();
    }
    TPulseStream(const TPulseStream&) = delete;
    TPulseStream& operator=(const TPulseStream&) = delete;

protected:
    // Iterates the session until aDone or aStop says so, at most until aDeadline.
    void WaitFor(const std::function<bool()>& aDone, const std::function<bool()>& aStop,
                 TClock::time_point aDeadline = TClock::time_point::max())
    {
        // The slices bound how late a stop request is seen while the server sends nothing.
        constexpr std::chrono::microseconds cSlice(20000);
        for (auto now = TClock::now(); !aDone() && !aStop() && now < aDeadline; now = TClock::now()) {
            fSession.Poll(aDeadline - now < cSlice
                              ? std::chrono::duration_cast<std::chrono::microseconds>(aDeadline - now)
                              : cSlice);
            Check();
        }
    }

    // A stream that failed (its endpoint went away, the server ended) raises with the server's
    // message.
    void Check() const
    {
        if (pa_stream_get_state(fStream.get()) != PA_STREAM_READY)
            fSession.Raise();
    }

    pa_stream* Stream() const { return fStream.get(); }
    TPulseSession& Session() { return fSession; }

private:
    struct TStreamFree
    {
        void operator()(pa_stream* p) const
        {
            pa_stream_disconnect(p);
            pa_stream_unref(p);
        }
    };

    // Declared in this order so that the stream goes before its session.
    TPulseSession fSession;
    std::unique_ptr<pa_stream, TStreamFree> fStream;
};

class TPulseCapture : public IAudioCaptureStream, private TPulseStream
{
public:
    // Packets of 10 ms: the analysers see blocks of 480 frames at 48 kHz.
    TPulseCapture(const QString& sId, const tWAVEFORMATEX& aFormat, int iBufferMs)
        : TPulseStream(sId, PA_STREAM_RECORD, aFormat, Attr(aFormat, iBufferMs)),
          fnPacketFrames(FramesOf(aFormat, 10)), fnBytes(std::size_t(fnPacketFrames) * aFormat.nBlockAlign)
    {
        fPending.reserve(2 * fnBytes);
    }

    std::uint32_t PacketFrames() const override { return fnPacketFrames; }

    void Wait(int iMaxWaitMs, const std::function<bool()>& aStop) override
    {
        WaitFor([] { return false; }, aStop, TClock::now() + std::chrono::milliseconds(iMaxWaitMs));
    }

    bool Read(std::uint8_t* pData) override
    {
        // Fragments go to the packet only as far as needed: what is kept here stays below one
        // packet plus one fragment, the rest waits in the stream's own bounded buffer.
        while (fPending.size() < fnBytes) {
            const void* pFragment = nullptr;
            std::size_t nFragment = 0;
            if (pa_stream_peek(Stream(), &pFragment, &nFragment) < 0)
                Session().Raise();
            if (nFragment == 0)
                break;
            // A hole in the stream (no data) counts as silence.
            if (pFragment) {
                const auto* p = static_cast<const std::uint8_t*>(pFragment);
                fPending.insert(fPending.end(), p, p + nFragment);
            } else {
                fPending.insert(fPending.end(), nFragment, 0);
            }
            pa_stream_drop(Stream());
        }
        if (fPending.size() < fnBytes)
            return false;
        std::copy_n(fPending.begin(), fnBytes, pData);
        fPending.erase(fPending.begin(), fPending.begin() + std::ptrdiff_t(fnBytes));
        return true;
    }

private:
    static pa_buffer_attr Attr(const tWAVEFORMATEX& aFormat, int iBufferMs)
    {
        pa_buffer_attr attr;
        attr.maxlength = FramesOf(aFormat, iBufferMs) * aFormat.nBlockAlign;
        attr.fragsize = FramesOf(aFormat, 10) * aFormat.nBlockAlign;
        attr.tlength = attr.prebuf = attr.minreq = std::uint32_t(-1);
        return attr;
    }

    std::uint32_t fnPacketFrames;
    std::size_t fnBytes;
    std::vector<std::uint8_t> fPending;
};

// The server keeps only a short buffer of the stream (50 ms): the latency a stream asks for sets
// the latency of its sink, and with it how often a null sink hands its sound to the monitor. The
// render loop's one-second buffer lives on the loop's side and is handed over packet by packet.
class TPulseRender : public IAudioRenderStream, private TPulseStream
{
public:
    TPulseRender(const QString& sId, const tWAVEFORMATEX& aFormat, int iBufferMs)
        : TPulseStream(sId, PA_STREAM_PLAYBACK, aFormat, Attr(aFormat)),
          fnBufferFrames(FramesOf(aFormat, iBufferMs)), fnPacketFrames(FramesOf(aFormat, 10)),
          fnBlockAlign(aFormat.nBlockAlign)
    {}
    std::uint32_t BufferFrames() const override { return fnBufferFrames; }
    std::uint32_t PacketFrames() const override { return fnPacketFrames; }

    bool Write(const std::uint8_t* pData, std::uint32_t nFrameCount,
               const std::function<bool()>& aStop) override
    {
        std::size_t nLeft = std::size_t(nFrameCount) * fnBlockAlign;
        while (nLeft > 0) {
            std::size_t nRoom = 0;
            WaitFor(
                [this, &nRoom] {
                    nRoom = pa_stream_writable_size(Stream());
                    if (nRoom == std::size_t(-1))
                        Session().Raise();
                    return nRoom > 0;
                },
                aStop);
            if (nRoom == 0)
                return false;
            // Whole frames only.
            const std::size_t nBytes =
                std::min(nLeft, std::max<std::size_t>(nRoom - nRoom % fnBlockAlign, fnBlockAlign));
            if (pa_stream_write(Stream(), pData, nBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                Session().Raise();
            pData += nBytes;
            nLeft -= nBytes;
        }
        return true;
    }

    void Drain(const std::function<bool()>& aStop) override
    {
        TOperation drain(pa_stream_drain(Stream(), nullptr, nullptr));
        if (!drain)
            Session().Raise();
        WaitFor([&drain] { return pa_operation_get_state(drain.get()) != PA_OPERATION_RUNNING; }, aStop);
    }

private:
    struct TOperationUnref
    {
        void operator()(pa_operation* p) const
        {
            // An operation still running is abandoned: its answer no longer matters.
            if (pa_operation_get_state(p) == PA_OPERATION_RUNNING)
                pa_operation_cancel(p);
            pa_operation_unref(p);
        }
    };
    using TOperation = std::unique_ptr<pa_operation, TOperationUnref>;

    static pa_buffer_attr Attr(const tWAVEFORMATEX& aFormat)
    {
        pa_buffer_attr attr;
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = FramesOf(aFormat, 50) * aFormat.nBlockAlign;
        attr.prebuf = attr.minreq = attr.fragsize = std::uint32_t(-1);
        return attr;
    }

    std::uint32_t fnBufferFrames;
    std::uint32_t fnPacketFrames;
    std::uint32_t fnBlockAlign;
};

class TPulseAudioPlatform : public IAudioPlatform
{
public:
    std::vector<TAudioEndpoint> Endpoints(EAudioIoType eType) override
    {
        TPulseSession session;
        return List(session, eType, QByteArray());
    }

    TAudioEndpoint Endpoint(EAudioIoType eType, const QString& sId) override
    {
        TPulseSession session;
        std::vector<TAudioEndpoint> endpoints = List(session, eType, sId.toUtf8());
        if (endpoints.empty())
            throw EError(QString::fromUtf8(pa_strerror(PA_ERR_NOENTITY)));
        return endpoints.front();
    }

    void SetChannelVolumes(EAudioIoType eType, const QString& sId, const std::vector<float>& aValues,
                           bool bScalar) override
    {
        TPulseSession session;
        const QByteArray id = sId.toUtf8();
        std::vector<TAudioEndpoint> endpoints = List(session, eType, id);
        if (endpoints.empty())
            throw EError(QString::fromUtf8(pa_strerror(PA_ERR_NOENTITY)));
        // The channels without a value keep theirs.
        pa_cvolume volume;
        pa_cvolume_init(&volume);
        volume.channels = std::uint8_t(endpoints.front().iChannelCount);
        for (int ch = 0; ch < volume.channels; ++ch) {
            const float fDb = endpoints.front().volumesDb[std::size_t(ch)];
            volume.values[ch] = DbToVolume(fDb);
        }
        for (std::size_t ch = 0; ch < aValues.size() && ch < volume.channels; ++ch) {
            const float f = aValues[ch];
            if (bScalar)
                volume.values[ch] = pa_volume_t(std::lround(double(f) * PA_VOLUME_NORM));
            else
                volume.values[ch] = DbToVolume(f);
        }
        TSuccess success;
        Confirm(session,
                eType == eaOutput
                    ? pa_context_set_sink_volume_by_name(session.Context(), id.constData(), &volume,
                                                         TSuccess::Callback, &success)
                    : pa_context_set_source_volume_by_name(session.Context(), id.constData(), &volume,
                                                           TSuccess::Callback, &success),
                success);
    }

    void SetMute(EAudioIoType eType, const QString& sId, bool bMuteOn) override
    {
        TPulseSession session;
        const QByteArray id = sId.toUtf8();
        TSuccess success;
        Confirm(session,
                eType == eaOutput ? pa_context_set_sink_mute_by_name(session.Context(), id.constData(),
                                                                     bMuteOn, TSuccess::Callback, &success)
                                  : pa_context_set_source_mute_by_name(session.Context(), id.constData(),
                                                                       bMuteOn, TSuccess::Callback, &success),
                success);
    }

    void SetDefault(EAudioIoType eType, const QString& sId) override
    {
        TPulseSession session;
        const QByteArray id = sId.toUtf8();
        // The server accepts any name as the default; an endpoint that is gone must fail.
        if (List(session, eType, id).empty())
            throw EError(QString::fromUtf8(pa_strerror(PA_ERR_NOENTITY)));
        TSuccess success;
        Confirm(session,
                eType == eaOutput ? pa_context_set_default_sink(session.Context(), id.constData(),
                                                                TSuccess::Callback, &success)
                                  : pa_context_set_default_source(session.Context(), id.constData(),
                                                                  TSuccess::Callback, &success),
                success);
    }

    tWAVEFORMATEXTENSIBLE MixFormat(EAudioIoType eType, const QString& sId) override
    {
        const TAudioEndpoint endpoint = Endpoint(eType, sId);
        tWAVEFORMATEXTENSIBLE format{};
        format.Format.nChannels = std::uint16_t(endpoint.iChannelCount);
        format.Format.nSamplesPerSec = endpoint.dwSampleRate;
        format.Format.wBitsPerSample = 32;
        format.Format.nBlockAlign = std::uint16_t(endpoint.iChannelCount * 4);
        format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * endpoint.dwSampleRate;
        if (endpoint.iChannelCount <= 2) {
            format.Format.wFormatTag = cWaveFormatIeeeFloat;
        } else {
            format.Format.wFormatTag = cWaveFormatExtensible;
            format.Format.cbSize = 22;
            format.wValidBitsPerSample = 32;
            format.dwChannelMask = (1u << endpoint.iChannelCount) - 1;
            std::copy(std::begin(cSubFormatIeeeFloat), std::end(cSubFormatIeeeFloat),
                      std::begin(format.SubFormat));
        }
        return format;
    }

    std::unique_ptr<IAudioCaptureStream> OpenCapture(const QString& sId, const tWAVEFORMATEX& aFormat,
                                                     int iBufferMs) override
    {
        return std::make_unique<TPulseCapture>(sId, aFormat, iBufferMs);
    }

    std::unique_ptr<IAudioRenderStream> OpenRender(const QString& sId, const tWAVEFORMATEX& aFormat,
                                                   int iBufferMs) override
    {
        return std::make_unique<TPulseRender>(sId, aFormat, iBufferMs);
    }
};

} // namespace

std::unique_ptr<IAudioPlatform> IAudioPlatform::CreateDefault()
{
    return std::make_unique<TPulseAudioPlatform>();
}

} // namespace audio
