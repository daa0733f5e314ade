#pragma once

#include "execution/DeviceList.h"

#include <QString>

#include <functional>

// A command whose conclusion the test controls: it concludes at once with a preset result, or
// waits until the test calls Finish().
class TTestCmd : public TCommand
{
public:
    using TCommand::Init;
    explicit TTestCmd(TDevice* aOwner) : TCommand(aOwner) {}

    TCommand* Init(const QString& sDefinition) override;
    // A stateless command serves every line of its function itself.
    TCommand* Init(const QString& sFunctionName, const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
    void Cancel() override;

    // Concludes a waiting execution.
    void Finish(ECmdResult aResult, const QString& sError = QString());

    ECmdResult feImmediate = crDone; // crUnknown: wait for Finish()
    bool fbThrow = false;
    bool fbStateless = false;
    std::function<void()> fOnExecute; // runs before the command concludes
    int fiExecutions = 0;
    int fiCancels = 0;
    QString fsLastParameter;
    QString fsDefinition;
};

// A device with the functions "Run" (one new TTestCmd per line) and "Shared" (one object for all
// lines), registered under the type keyword "TestDevice".
class TTestDevice : public TDevice
{
public:
    TTestDevice();

    void Info(QString& sName, QString& sVersion) const override;
    void Init(const QString& sDefinition) override;

    static void Register();
    static void Unregister();

    QString fsDefinition;
    bool fbFailInit = false;
    static int siDestroyed;
    ~TTestDevice() override { ++siDestroyed; }
};
