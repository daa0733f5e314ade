#pragma once

#include "AudioWave.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace audio {

enum EAudioIoType
{
    eaInput, // capture endpoints
    eaOutput // render endpoints
};

// One endpoint of the sound server as the audio devices see it.
struct TAudioEndpoint
{
    QString sId;           // the server's own name of the endpoint
    QString sFriendlyName; // what a definition names
    int iChannelCount = 0;
    std::uint32_t dwSampleRate = 0;
    float fvMinDb = 0.0f; // volume range and step in dB
    float fvMaxDb = 0.0f;
    float fvStepDb = 0.0f;
    std::vector<float> volumesDb;     // per channel
    std::vector<float> volumesScalar; // per channel, 0.0 .. 1.0 for the range without boost
    bool bMuted = false;
    bool bDefault = false;
};

// A running capture stream of 16-bit frames. A source may deliver nothing for any length of time
// (suspended, stalled): nothing here waits longer than its caller allows.
class IAudioCaptureStream
{
public:
    virtual ~IAudioCaptureStream() = default;
    // Frames per packet; Read always delivers one packet.
    virtual std::uint32_t PacketFrames() const = 0;
    // Takes in what the source delivers for at most iMaxWaitMs; returns earlier once aStop says so.
    virtual void Wait(int iMaxWaitMs, const std::function<bool()>& aStop) = 0;
    // Copies the next whole packet received to pData (PacketFrames() frames); false when none is
    // complete yet.
    virtual bool Read(std::uint8_t* pData) = 0;
};

// A running render stream of 16-bit frames. An output may take nothing for any length of time
// (suspended, stalled): the waits end as soon as the caller's aStop says so.
class IAudioRenderStream
{
public:
    virtual ~IAudioRenderStream() = default;
    // Frames of the render loop's buffer (one second): the first block it plays.
    virtual std::uint32_t BufferFrames() const = 0;
    // Frames the server takes at a time; the render loop hands blocks over in such packets.
    virtual std::uint32_t PacketFrames() const = 0;
    // Queues frames; waits while the server has no room for them. False when aStop ended the wait
    // before all were queued.
    virtual bool Write(const std::uint8_t* pData, std::uint32_t nFrameCount,
                       const std::function<bool()>& aStop) = 0;
    // Waits until the queued sound has played or aStop says so. Closing the stream drops what is
    // still queued.
    virtual void Drain(const std::function<bool()>& aStop) = 0;
};

// What the audio devices need of the sound service. Every operation raises EError with the
// service's message when it fails. Implementations are safe to call from several threads at once:
// the capture and render threads look endpoints up and open streams while the main thread
// controls volumes.
class IAudioPlatform
{
public:
    virtual ~IAudioPlatform() = default;
    // The PulseAudio client of this machine.
    static std::unique_ptr<IAudioPlatform> CreateDefault();

    // The active endpoints of a direction in the server's order.
    virtual std::vector<TAudioEndpoint> Endpoints(EAudioIoType eType) = 0;
    // One endpoint by its id; raises when it is gone.
    virtual TAudioEndpoint Endpoint(EAudioIoType eType, const QString& sId) = 0;

    virtual void SetChannelVolumes(EAudioIoType eType, const QString& sId, const std::vector<float>& aDb,
                                   bool bScalar) = 0;
    virtual void SetMute(EAudioIoType eType, const QString& sId, bool bMuteOn) = 0;
    virtual void SetDefault(EAudioIoType eType, const QString& sId) = 0;

    // The endpoint's mix format as the server mixes it (32-bit float, extensible beyond two
    // channels).
    virtual tWAVEFORMATEXTENSIBLE MixFormat(EAudioIoType eType, const QString& sId) = 0;
    // Opens a 16-bit PCM stream of aFormat on the endpoint with a buffer of iBufferMs.
    virtual std::unique_ptr<IAudioCaptureStream> OpenCapture(const QString& sId, const tWAVEFORMATEX& aFormat,
                                                             int iBufferMs) = 0;
    virtual std::unique_ptr<IAudioRenderStream> OpenRender(const QString& sId, const tWAVEFORMATEX& aFormat,
                                                           int iBufferMs) = 0;
};

} // namespace audio
