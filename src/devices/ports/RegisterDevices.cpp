#include "DevicePortFtdi.h"
#include "DevicePortRs232.h"
#include "DevicePortTcp.h"
#include "DevicePortUdp.h"

#include "execution/DeviceList.h"

namespace ports {

void RegisterDevices()
{
    TDeviceList::RegisterType(TDevicePortRs232::KeyName(), [](TDeviceContext& aContext) {
        return std::make_unique<TDevicePortRs232>(aContext);
    });
    TDeviceList::RegisterType(TDevicePortTcp::KeyName(), [](TDeviceContext& aContext) {
        return std::make_unique<TDevicePortTcp>(aContext);
    });
    TDeviceList::RegisterType(TDevicePortUdp::KeyName(), [](TDeviceContext& aContext) {
        return std::make_unique<TDevicePortUdp>(aContext);
    });
    TDeviceList::RegisterType(TDevicePortFtdi::KeyName(), [](TDeviceContext& aContext) {
        return std::make_unique<TDevicePortFtdi>(aContext);
    });
}

} // namespace ports
