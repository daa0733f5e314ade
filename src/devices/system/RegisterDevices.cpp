#include "DeviceSys.h"

#include "execution/CmdCreateCmd.h"
#include "execution/DeviceTypes.h"

namespace sys {

void RegisterDevices(TDeviceTypes& aTypes)
{
    aTypes.Register(
        TDeviceSys::KeyName(), QStringLiteral("System Control"), QStringLiteral("V2.20.20"),
        [](TDeviceContext& aContext) { return std::make_unique<TDeviceSys>(aContext); },
        TCmdCreateCmd::Infos({&TDeviceSys::FunctionTable()}), "TDeviceSys");
}

} // namespace sys
