#include "DevicePortRs232.h"
#include "DevicePortTcp.h"

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
}

} // namespace ports
