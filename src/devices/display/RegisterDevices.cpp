#include "DeviceDisplay.h"
#include "DeviceIndicator.h"

#include "execution/CmdCreateCmd.h"
#include "execution/DeviceTypes.h"

namespace display {

void RegisterDevices(TDeviceTypes& aTypes)
{
    aTypes.Register(
        TDeviceDisplayHTML::KeyName(), QStringLiteral("HTML Viewer"), QStringLiteral("V1.01.02"),
        [](TDeviceContext& aContext) { return std::make_unique<TDeviceDisplayHTML>(aContext); },
        TCmdCreateCmd::Infos({&TDeviceDisplay::FunctionTable()}), "TDeviceDisplay");
    aTypes.Register(
        TDeviceIndicator::KeyName(), QStringLiteral("Indicator"), QStringLiteral("V2.20.05"),
        [](TDeviceContext& aContext) { return std::make_unique<TDeviceIndicator>(aContext); },
        TCmdCreateCmd::Infos({&TDeviceIndicator::FunctionTable()}), "TDeviceIndicator");
}

} // namespace display
