#pragma once

#include "FakeRunnerHost.h"
#include "TestContext.h"
#include "TestEnvironment.h"

#include "core/RegIO.h"
#include "core/VariableManager.h"
#include "devices/system/DeviceSys.h"
#include "execution/ProcessRunner.h"
#include "language/InterpreterHost.h"
#include "language/Station.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Loads without a window: no questions, no key assignments.
class TStationLoadHost : public IInterpreterHost
{
public:
    explicit TStationLoadHost(TSession& aSession) : fSession(aSession) {}
    bool SkipErrors() const override { return false; }
    void SetFileInfo(const QString&, const QString&) override {}
    bool AssignKey(int, const QString&) override { return true; }
    void SetDefaultDocument(const QString&) override {}
    TErrorReport* ErrorReport() override { return &fSession.ErrorReport(); }

private:
    TSession& fSession;
};

// A station of test sockets, each with a runner whose operator face is a fake.
struct TStationFixture
{
    explicit TStationFixture(int iSockets) : station(iSockets, &TestDeviceTypes(), &TRegIO::Instance())
    {
        sys::RegisterDevices(TestDeviceTypes());
        for (int i = 1; i <= station.Count(); ++i) {
            hosts.push_back(std::make_unique<TFakeRunnerHost>());
            station.AttachRunner(i, *hosts.back());
        }
    }
    ~TStationFixture()
    {
        for (int i = 1; i <= station.Count(); ++i)
            station.Session(i).DetachRunner();
        TRegIO::InstanceRelease();
        TVariableManager::InstanceRelease();
    }

    void LoadAll(const QString& sFile)
    {
        for (int i = 1; i <= station.Count(); ++i) {
            TStationLoadHost host(station.Session(i));
            const TLoadReport report = station.Session(i).Load(sFile, host);
            ASSERT_TRUE(report.bRunnable)
                << i << ": " << report.sFailure.toStdString() << report.sLoadInfos.toStdString();
            station.Loaded(i);
        }
    }
    void StartAll()
    {
        for (int i = 1; i <= station.Count(); ++i) {
            station.Session(i).Runner()->SetProcessState(EProcessState::Ready);
            station.Session(i).Runner()->Start();
        }
    }
    bool AllFinished(int iTimeoutMs)
    {
        return RunEventsUntil(
            [&] {
                for (const auto& host : hosts)
                    if (host->finals.empty())
                        return false;
                return true;
            },
            iTimeoutMs);
    }

    TStation station;
    std::vector<std::unique_ptr<TFakeRunnerHost>> hosts;
};
