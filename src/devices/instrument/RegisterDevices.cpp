#include "DeviceInstrument.h"

#include "execution/CmdCreateCmd.h"
#include "execution/DeviceTypes.h"

namespace instrument {

void RegisterDevices(TDeviceTypes& aTypes)
{
    aTypes.Register(
        TDeviceInstrument::KeyName(), QStringLiteral("Instrument Interface"), QStringLiteral("V2.20.02"),
        [](TDeviceContext& aContext) { return std::make_unique<TDeviceInstrument>(aContext); },
        TCmdCreateCmd::Infos({&TDeviceInstrument::FunctionTable()}));
}

} // namespace instrument
