#pragma once

#include "AudioPlatform.h"

#include <QString>

#include <vector>

class TMsgChannel;

namespace audio {

// Finds endpoints by the start of their friendly name.
class TAudioDeviceList
{
public:
    // The first active endpoint of the direction, in the server's order, whose friendly name
    // starts with sDeviceName (case-sensitive; an empty name matches none). False when none
    // matches; the server's own failures raise.
    static bool GetDevice(IAudioPlatform& aPlatform, EAudioIoType aAudioType, const QString& sDeviceName,
                          QString& aDevice, QString& sFullName);
};

// Volume, mute and default of one endpoint, bound once by its friendly name.
class TAudioControl
{
public:
    // aMsg: where the control reports (its device's session).
    TAudioControl(IAudioPlatform& aPlatform, TMsgChannel& aMsg) : fPlatform(aPlatform), fMsg(aMsg) {}

    // Binds to the endpoint; false when none matches or the sound server is not reachable.
    bool Init(EAudioIoType aAudioType, const QString& sDeviceName);
    QString Info() const;

    void SetVolume(const std::vector<float>& aArgs);
    void SetVolumeScalar(const std::vector<float>& aArgs);
    // Refuses a scalar volume outside 0..1, which no endpoint takes.
    static void CheckScalarRange(const std::vector<float>& aArgs);
    void SetMute(bool bMuteOn);
    void SetDefaultEndpointDevice();

    int ChannelCount() const { return FiChannelCount; }
    const QString& FullDeviceName() const { return fsFullDeviceName; }

private:
    // Sets the checked values, channel 0 first.
    void ApplyVolumes(const std::vector<float>& aArgs, bool bScalar);

    IAudioPlatform& fPlatform;
    TMsgChannel& fMsg;
    bool fVolume = false;
    EAudioIoType feType = eaOutput;
    QString fsDeviceName;
    QString fsFullDeviceName;
    float fvMin = 0.0f;
    float fvMax = 0.0f;
    float fvStep = 0.0f;
    int FiChannelCount = 0;
    QString fDevice;
};

} // namespace audio
