#include "DeviceAxcc.h"

#include "execution/CmdCreateCmd.h"
#include "execution/DeviceTypes.h"

namespace axcc {

void RegisterDevices(TDeviceTypes& aTypes)
{
    aTypes.Register(
        TDeviceAxcc::KeyName(), QStringLiteral("AXCC - Automation Exchange COM Client"),
        QStringLiteral("V1.01.01"),
        [](TDeviceContext& aContext) { return std::make_unique<TDeviceAxcc>(aContext); },
        TCmdCreateCmd::Infos({&TDeviceAxcc::FunctionTable()}), "TDeviceAxcc");
}

} // namespace axcc
