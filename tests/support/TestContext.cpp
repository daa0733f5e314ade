#include "TestContext.h"

#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceContext.h"
#include "execution/DeviceList.h"
#include "execution/DeviceTypes.h"

#include <utility>

namespace {

TDeviceContext*& Installed()
{
    static TDeviceContext* installed = nullptr;
    return installed;
}

} // namespace

TDeviceTypes& TestDeviceTypes()
{
    static TDeviceTypes types;
    return types;
}

TDeviceContext& TestContext()
{
    static TDeviceContext fallback;
    // The instances may have been released and made again since the last call.
    return UseProcessInstances(Installed() ? *Installed() : fallback);
}

TDeviceContext& UseProcessInstances(TDeviceContext& aContext)
{
    aContext.SetVariables(&TVariableManager::Instance());
    aContext.SetValueLog(&TValueLog::Instance());
    aContext.SetSettings(&TRegIO::Instance());
    aContext.SetTypes(&TestDeviceTypes());
    return aContext;
}

TDeviceContext* SetTestContext(TDeviceContext* aContext)
{
    return std::exchange(Installed(), aContext);
}

TDeviceList& TestDeviceList()
{
    return TestContext().Devices();
}

void ReleaseTestDeviceList()
{
    TestContext().Devices().Clear();
}
