#include "DevicePortFtdi.h"
#include "DevicePortRs232.h"
#include "DevicePortTcp.h"
#include "DevicePortUdp.h"

#include "execution/DeviceList.h"

namespace ports {

void RegisterDevices(TDeviceTypes& aTypes)
{
    aTypes.Register(TDevicePortRs232::KeyName(),
                    [](TDeviceContext& aContext) { return std::make_unique<TDevicePortRs232>(aContext); });
    aTypes.Register(TDevicePortTcp::KeyName(),
                    [](TDeviceContext& aContext) { return std::make_unique<TDevicePortTcp>(aContext); });
    aTypes.Register(TDevicePortUdp::KeyName(),
                    [](TDeviceContext& aContext) { return std::make_unique<TDevicePortUdp>(aContext); });
    aTypes.Register(TDevicePortFtdi::KeyName(),
                    [](TDeviceContext& aContext) { return std::make_unique<TDevicePortFtdi>(aContext); });
}

} // namespace ports
