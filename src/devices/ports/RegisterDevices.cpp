#include "DevicePortFtdi.h"
#include "DevicePortRs232.h"
#include "DevicePortTcp.h"
#include "DevicePortUdp.h"

#include "execution/DeviceList.h"

namespace ports {

void RegisterDevices(TDeviceTypes& aTypes)
{
    aTypes.Register(
        TDevicePortRs232::KeyName(), QStringLiteral("Port: RS232"), QStringLiteral("V2.20.10"),
        [](TDeviceContext& aContext) { return std::make_unique<TDevicePortRs232>(aContext); },
        TCmdCreateCmd::Infos({&TDevicePortBase::FunctionTable()}));
    aTypes.Register(
        TDevicePortTcp::KeyName(), QStringLiteral("Port: TCP Client"), QStringLiteral("V2.20.01"),
        [](TDeviceContext& aContext) { return std::make_unique<TDevicePortTcp>(aContext); },
        TCmdCreateCmd::Infos({&TDevicePortBase::FunctionTable()}));
    aTypes.Register(
        TDevicePortUdp::KeyName(), QStringLiteral("Port: UDP"), QStringLiteral("V2.20.03"),
        [](TDeviceContext& aContext) { return std::make_unique<TDevicePortUdp>(aContext); },
        TCmdCreateCmd::Infos({&TDevicePortBase::FunctionTable()}));
    aTypes.Register(
        TDevicePortFtdi::KeyName(), QStringLiteral("Port: FTDI"), QStringLiteral("V2.20.07"),
        [](TDeviceContext& aContext) { return std::make_unique<TDevicePortFtdi>(aContext); },
        TCmdCreateCmd::Infos({&TDevicePortBase::FunctionTable()}));
}

} // namespace ports
