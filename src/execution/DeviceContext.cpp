#include "DeviceContext.h"

void TDeviceContext::ForgetRunner(const IRunnerControl* aRunner)
{
    if (fRunner == aRunner)
        fRunner = nullptr;
}
