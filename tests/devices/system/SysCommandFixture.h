#pragma once

#include "TestContext.h"
#include "devices/system/DeviceSys.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/Device.h"
#include "execution/DeviceContext.h"

#include "FakeOperatorDialogs.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <memory>

// The load error of one line of a device function, or "no error".
inline QString InitErrorOf(const TDevice& aDevice, const QString& sFunction, const QString& sParameter)
{
    try {
        aDevice.Command(sFunction)->Init(sFunction, sParameter);
    } catch (const std::exception& e) {
        return ExceptionText(e);
    }
    return QStringLiteral("no error");
}

// One System Control device on its own context with a scripted operator: commands are made from
// their parameter text as the definition reader makes them, and run until they conclude.
class SysCommandFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fLog.SetShowTrace(true);
        fLog.SetShowDebug(false);
        fLog.Attach();
        fContext.SetDialogs(&fDialogs);
        fSys = std::make_unique<sys::TDeviceSys>(fContext);
    }
    void TearDown() override
    {
        fSys.reset();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    TCommand* Make(const QString& sFunction, const QString& sParameter)
    {
        return fSys->Command(sFunction)->Init(sFunction, sParameter);
    }
    // The load error of a line, or "no error".
    QString InitError(const QString& sFunction, const QString& sParameter)
    {
        return InitErrorOf(*fSys, sFunction, sParameter);
    }
    // Executes the command and waits until it concluded; crUnknown when it did not, or not once.
    ECmdResult Run(TCommand* pCmd, int iTimeoutMs = 5000)
    {
        int iConclusions = 0;
        pCmd->SetOnResult([&iConclusions](TCommand*) { ++iConclusions; });
        pCmd->Execute(QString());
        const bool bConcluded = RunEventsUntil([&] { return iConclusions > 0; }, iTimeoutMs);
        pCmd->SetOnResult(nullptr);
        return bConcluded && iConclusions == 1 ? pCmd->CmdResult() : crUnknown;
    }
    ECmdResult Run(const QString& sFunction, const QString& sParameter)
    {
        return Run(Make(sFunction, sParameter));
    }
    bool Logged(const QString& sText) const { return LogHas(fLog, sText); }
    static TVariableManager& Variables() { return TVariableManager::Instance(); }

    TMsgLog fLog;
    TFakeOperatorDialogs fDialogs;
    TTestDeviceContext fContext;
    std::unique_ptr<sys::TDeviceSys> fSys;
};
