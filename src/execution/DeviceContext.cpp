#include "DeviceContext.h"

#include "DeviceList.h"
#include "DeviceTypes.h"

#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"

TDeviceContext::TDeviceContext() = default;

TDeviceContext::~TDeviceContext()
{
    // The own devices go first, while the variables and the value log they may use still exist.
    fOwnDevices.reset();
}

void TDeviceContext::ForgetRunner(const IRunnerControl* aRunner)
{
    if (fRunner == aRunner)
        fRunner = nullptr;
}

TVariableManager& TDeviceContext::Variables()
{
    if (fpVariables)
        return *fpVariables;
    if (!fOwnVariables)
        fOwnVariables = std::make_unique<TVariableManager>();
    return *fOwnVariables;
}

TValueLog& TDeviceContext::ValueLog()
{
    if (fpValueLog)
        return *fpValueLog;
    if (!fOwnValueLog)
        fOwnValueLog = std::make_unique<TValueLog>();
    return *fOwnValueLog;
}

TRegIO& TDeviceContext::Settings()
{
    if (fpSettings)
        return *fpSettings;
    if (!fOwnSettings)
        fOwnSettings = std::make_unique<TRegIO>();
    return *fOwnSettings;
}

bool TDeviceContext::EndOnFailure()
{
    if (!fStationDevices)
        return Settings().EndOnFailure();
    if (!fbEndOnFailure)
        fbEndOnFailure = Settings().EndOnFailure();
    return *fbEndOnFailure;
}

void TDeviceContext::SetEndOnFailure(bool bEnd)
{
    if (fStationDevices)
        fbEndOnFailure = bEnd;
    else
        Settings().SetEndOnFailure(bEnd);
}

TDeviceList& TDeviceContext::Devices()
{
    if (fpDevices)
        return *fpDevices;
    if (!fOwnDevices)
        fOwnDevices = std::make_unique<TDeviceList>(*this);
    return *fOwnDevices;
}

const TDeviceTypes& TDeviceContext::Types()
{
    if (fpTypes)
        return *fpTypes;
    if (!fOwnTypes)
        fOwnTypes = std::make_unique<TDeviceTypes>();
    return *fOwnTypes;
}
