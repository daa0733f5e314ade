#include "AudioControl.h"

#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

namespace audio {

bool TAudioDeviceList::GetDevice(IAudioPlatform& aPlatform, EAudioIoType aAudioType,
                                 const QString& sDeviceName, QString& aDevice, QString& sFullName)
{
    aDevice.clear();
    if (aAudioType != eaInput && aAudioType != eaOutput)
        throw EError(Format(QStringLiteral("Unknown audio type %d"), {int(aAudioType)}));
    if (sDeviceName.isEmpty())
        return false;
    for (const TAudioEndpoint& endpoint : aPlatform.Endpoints(aAudioType)) {
        if (endpoint.sFriendlyName.startsWith(sDeviceName, Qt::CaseSensitive)) {
            aDevice = endpoint.sId;
            sFullName = endpoint.sFriendlyName;
            return true;
        }
    }
    return false;
}

bool TAudioControl::Init(EAudioIoType aAudioType, const QString& sDeviceName)
{
    fVolume = false;
    fsFullDeviceName.clear();
    fDevice.clear();
    feType = aAudioType;
    try {
        QString sId, sFullName;
        if (!TAudioDeviceList::GetDevice(fPlatform, aAudioType, sDeviceName, sId, sFullName))
            return false;
        const TAudioEndpoint endpoint = fPlatform.Endpoint(aAudioType, sId);
        fsDeviceName = sDeviceName;
        fsFullDeviceName = sFullName;
        fDevice = sId;
        FiChannelCount = endpoint.iChannelCount;
        fvMin = endpoint.fvMinDb;
        fvMax = endpoint.fvMaxDb;
        fvStep = endpoint.fvStepDb;
        fVolume = true;
    } catch (const EError& e) {
        // Without a sound server the device is simply not there; the reason goes to the log.
        fMsg.Warning(QStringLiteral("Sound server: %s"), {e.Message()});
        return false;
    }
    return fVolume;
}

QString TAudioControl::Info() const
{
    if (!fVolume)
        return QStringLiteral("No audio device initialized!");
    return Format(QStringLiteral("Device \"%s\", Channels = %d, Volume Range = %.4f .. %.4f dB, Step = %.4f"),
                  {fsFullDeviceName, FiChannelCount, double(fvMin), double(fvMax), double(fvStep)});
}

void TAudioControl::SetVolume(const std::vector<float>& aArgs)
{
    if (!fVolume)
        throw EError(QStringLiteral("Audio Volume Error: Volume interface not assigned!"));
    if (int(aArgs.size()) > FiChannelCount)
        throw EError(Format(QStringLiteral("Audio Volume Error: Value count = %d > %d available channels!"),
                            {int(aArgs.size()), FiChannelCount}));
    for (const float f : aArgs) {
        if (f < fvMin || f > fvMax)
            throw EError(
                Format(QStringLiteral("Audio Volume Error: Value %.4f out of range! (min=%.4f, max=%.4f)"),
                       {double(f), double(fvMin), double(fvMax)}));
    }
    ApplyVolumes(aArgs, false);
}

void TAudioControl::SetVolumeScalar(const std::vector<float>& aArgs)
{
    if (!fVolume)
        throw EError(QStringLiteral("Audio Volume Error: Scalar volume interface not assigend!"));
    if (int(aArgs.size()) > FiChannelCount)
        throw EError(
            Format(QStringLiteral("Audio Volume Error: Scalar value count = %d > %d available channels!"),
                   {int(aArgs.size()), FiChannelCount}));
    CheckScalarRange(aArgs);
    ApplyVolumes(aArgs, true);
}

void TAudioControl::CheckScalarRange(const std::vector<float>& aArgs)
{
    for (const float f : aArgs) {
        if (f < 0.0f || f > 1.0f)
            throw EError(Format(
                QStringLiteral("Audio Volume Error: Scalar value %.4f out of range! (min=0.0, max=1.0)"),
                {double(f)}));
    }
}

void TAudioControl::ApplyVolumes(const std::vector<float>& aArgs, bool bScalar)
{
    if (aArgs.empty())
        return;
    try {
        fPlatform.SetChannelVolumes(feType, fDevice, aArgs, bScalar);
    } catch (const EError& e) {
        throw EError(QStringLiteral("Audio Volume COM Error: ") + e.Message());
    }
}

void TAudioControl::SetMute(bool bMuteOn)
{
    if (!fVolume)
        throw EError(QStringLiteral("Audio Volume Error: Volume interface not assigend"));
    fPlatform.SetMute(feType, fDevice, bMuteOn);
}

void TAudioControl::SetDefaultEndpointDevice()
{
    if (fDevice.isEmpty())
        throw EError(QStringLiteral("No audio device assigned!"));
    try {
        fPlatform.SetDefault(feType, fDevice);
    } catch (const EError& e) {
        throw EError(QStringLiteral("Change to default device failed: ") + e.Message());
    }
}

} // namespace audio
