#pragma once

#include "AudioCapture.h"
#include "AudioPlatform.h"
#include "AudioWave.h"

#include <QString>

#include <memory>

namespace audio {

class TAudioRender;

// The thread side of one playback: the wave source made from the configuration term and the loop
// that keeps the endpoint's buffer filled.
class TAudioRenderThread
{
public:
    TAudioRenderThread(IAudioPlatform& aPlatform, TAudioRender& aParent);
    // Makes the source; a wave file is loaded here, so that its errors reach the caller.
    void Init(const QString& sConfig);
    void Run(const TWorkerThread::TLink& aLink);

private:
    IAudioPlatform& fPlatform;
    TAudioRender& fParent;
    std::unique_ptr<TWaveRender> fWave;
    QString fsDeviceName;
};

// Plays a wave source on one endpoint on its device's worker thread and reports start, errors and
// the end on the main thread.
class TAudioRender
{
public:
    // aWorker: the device's thread; it outlives this object.
    TAudioRender(IAudioPlatform& aPlatform, TWorkerThread& aWorker);
    ~TAudioRender();
    TAudioRender(const TAudioRender&) = delete;
    TAudioRender& operator=(const TAudioRender&) = delete;

    bool Init(const QString& sConfigTerm);
    // False when a playback runs; a source that cannot be made raises.
    bool Start();
    bool Stop();
    void Shutdown();
    bool Running() const { return fWorker.Running(); }

    TAudioEvent OnRenderStart;
    TTextEvent OnError;
    TAudioEvent OnStopped;

private:
    IAudioPlatform& fPlatform;
    TWorkerThread& fWorker;
    QString fsConfigTerm;
};

} // namespace audio
