#include "DeviceAudioIn.h"
#include "DeviceAudioOut.h"

#include "execution/CmdCreateCmd.h"
#include "execution/DeviceTypes.h"

namespace audio {

void RegisterDevices(TDeviceTypes& aTypes)
{
    aTypes.Register(
        TDeviceAudioIn::KeyName(), QStringLiteral("Audio Input"), QStringLiteral("V1.01.01"),
        [](TDeviceContext& aContext) { return std::make_unique<TDeviceAudioIn>(aContext); },
        TCmdCreateCmd::Infos({&TDeviceAudioBase::FunctionTable(), &TDeviceAudioIn::FunctionTable()}),
        "Audio TDeviceAudioIn");
    aTypes.Register(
        TDeviceAudioOut::KeyName(), QStringLiteral("Audio Output"), QStringLiteral("V1.00.00"),
        [](TDeviceContext& aContext) { return std::make_unique<TDeviceAudioOut>(aContext); },
        TCmdCreateCmd::Infos({&TDeviceAudioBase::FunctionTable(), &TDeviceAudioOut::FunctionTable()}),
        "AudioOut TDeviceAudioOut");
}

} // namespace audio
