#pragma once

#include "TestContext.h"
#include "devices/ports/DevicePortBase.h"

#include "core/EscTaggedString.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"

#include "FakePort.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <map>

// Devices of the port family made through the device list, and their commands executed one by
// one with their conclusions counted.
class PortTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ports::RegisterDevices(TestDeviceTypes());
        TFakePort::Register();
        fLog.SetShowTrace(true);
        fLog.SetShowDebug(true);
        fLog.Attach();
        TEscTaggedString::Instance().AddDefaultTags();
    }
    void TearDown() override
    {
        ReleaseTestDeviceList();
        TEscTaggedString::InstanceRelease();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        TRegIO::InstanceRelease();
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    template <class TPort = ports::TDevicePortBase>
    TPort& Device(const QString& sDefinition)
    {
        return dynamic_cast<TPort&>(*TestDeviceList().Append(sDefinition));
    }
    static TCommand* Make(TDevice& aDevice, const QString& sFunction, const QString& sParameter)
    {
        return aDevice.Command(sFunction)->Init(sFunction, sParameter);
    }
    // Executes the command; its conclusions are counted from here on.
    void Start(TCommand* aCommand)
    {
        fConclusions[aCommand] = 0;
        aCommand->SetOnResult([this](TCommand* aSender) { ++fConclusions[aSender]; });
        aCommand->Execute(QString());
    }
    int Conclusions(TCommand* aCommand) { return fConclusions[aCommand]; }
    // Runs the event loop until the command concluded; false when it did not in time.
    bool WaitConcluded(TCommand* aCommand, int iTimeoutMs = 5000)
    {
        return RunEventsUntil([&] { return fConclusions[aCommand] > 0; }, iTimeoutMs);
    }
    // Executes and waits for the conclusion.
    ECmdResult Run(TCommand* aCommand, int iTimeoutMs = 5000)
    {
        Start(aCommand);
        if (!WaitConcluded(aCommand, iTimeoutMs))
            return crUnknown;
        return aCommand->CmdResult();
    }
    // Lets the event loop run for a while (to show that nothing concludes in it).
    static void Idle(int iMs)
    {
        RunEventsUntil([] { return false; }, iMs);
    }
    bool Logged(const QString& sText) const { return LogHas(fLog, sText); }
    bool LoggedContaining(const QString& sText) const
    {
        for (const auto& line : fLog.Lines()) {
            if (line.sText.contains(sText))
                return true;
        }
        return false;
    }
    int LoggedCount(const QString& sText) const
    {
        int iCount = 0;
        for (const auto& line : fLog.Lines())
            iCount += line.sText.endsWith(sText) ? 1 : 0;
        return iCount;
    }

    TMsgLog fLog;
    std::map<TCommand*, int> fConclusions;
};

// A port of the test device type, opened, whose lines are made by function name.
class FakePortTest : public PortTest
{
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        fPort = &Device<TFakePort>(QStringLiteral("FakePort; Port1; 300"));
        fPort->Open();
    }
    TCommand* Line(const QString& sFunction, const QString& sParameter)
    {
        return Make(*fPort, sFunction, sParameter);
    }

    TFakePort* fPort = nullptr;
};
