#pragma once

#include "execution/DeviceList.h"
#include "execution/ProcessRunner.h"

#include <QTimer>

#include <memory>

class IToneOutput;

// The built-in System Control device: flow control of the test process itself.
class TDeviceSys : public TDevice
{
public:
    TDeviceSys();

    static QString KeyName() { return QStringLiteral("SystemControl"); }
    void Info(QString& sName, QString& sVersion) const override;
    void Init(const QString& sDefinition) override;
};

// Registers the type keyword "SystemControl" with the device list.
void RegisterSystemDevice();

// Two short tones (800 Hz for 40 ms, 500 Hz for 20 ms); never fails the step.
class TCmdBeep : public TCommand
{
public:
    using TCommand::Init;
    explicit TCmdBeep(TDevice* aOwner);
    TCommand* Init(const QString& sFunctionName, const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

    // The tone output (a sound server, else the terminal bell); tests replace it.
    static void SetToneOutput(std::unique_ptr<IToneOutput> aOutput);
};

class TCmdShowErrorReport : public TCommand
{
public:
    using TCommand::Init;
    using TCommand::TCommand;
    TCommand* Init(const QString& sFunctionName, const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
};

class TCmdWriteValueLog : public TCommand
{
public:
    using TCommand::Init;
    using TCommand::TCommand;
    TCommand* Init(const QString& sFunctionName, const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
};

class TCmdProcess : public TCommand
{
public:
    using TCommand::Init;
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
    EProcessMode Mode() const { return feMode; }

private:
    EProcessMode feMode = pmUnknown;
};

class TCmdSetTestCaseStatus : public TCommand
{
public:
    using TCommand::Init;
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsCaseName;
    bool fbTestEnabled = true;
};

class TCmdGoto : public TCommand
{
public:
    using TCommand::Init;
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsCaseName;
    QString fsTerm;
};

class TCmdDelay : public TCommand
{
public:
    using TCommand::Init;
    explicit TCmdDelay(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
    void Cancel() override;
    int Interval() const { return fiInterval; }

private:
    std::unique_ptr<QTimer> fTimer;
    int fiInterval = 0;
};

class TCmdPause : public TCommand
{
public:
    using TCommand::Init;
    using TCommand::TCommand;
    ~TCmdPause() override;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
    void Cancel() override;

private:
    bool KeyPressed(int iKey);
    void Unhook();

    TProcessRunner* fHookedRunner = nullptr;
};

class TCmdBreak : public TCommand
{
public:
    using TCommand::Init;
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
};
