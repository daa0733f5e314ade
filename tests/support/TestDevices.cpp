#include "TestDevices.h"
#include "TestContext.h"

#include "core/MsgExceptions.h"
#include "execution/CmdCreateCmd.h"

int TTestDevice::siDestroyed = 0;
std::vector<QString> TTestDevice::sHookCalls;

TCommand* TTestCmd::Init(const QString& sDefinition)
{
    TCommand::Init(sDefinition);
    fsDefinition = sDefinition;
    if (sDefinition.contains(QStringLiteral("bad")))
        throw EMsg(QStringLiteral("bad parameter"), TMsgId(0x7F0001), 0);
    return this;
}

TCommand* TTestCmd::CommandFor(const QString& sFunctionName, const QString& sParameter)
{
    if (!fbStateless)
        return TCommand::CommandFor(sFunctionName, sParameter);
    return this;
}

void TTestCmd::Execute(const QString& sParameter)
{
    ++fiExecutions;
    fsLastParameter = sParameter;
    if (fOnExecute)
        fOnExecute();
    if (fbThrow)
        throw EError(QStringLiteral("device gone"));
    if (feImmediate != crUnknown)
        Finish(feImmediate);
}

void TTestCmd::Cancel()
{
    ++fiCancels;
    TCommand::Cancel();
}

void TTestCmd::Finish(ECmdResult aResult, const QString& sError)
{
    if (!sError.isEmpty())
        SetErrorText(sError);
    Conclude(aResult);
}

TTestAsyncCmd::TTestAsyncCmd(TDevice* aOwner) : TAsyncCommand(aOwner)
{
    fTimer.setSingleShot(true);
    QObject::connect(&fTimer, &QTimer::timeout, Receiver(), Guard([this] {
        if (fOnTimer)
            fOnTimer(*this);
    }));
}

TTestAsyncCmd::~TTestAsyncCmd()
{
    if (fWorker.joinable())
        fWorker.join();
}

void TTestAsyncCmd::Start(const QString&)
{
    if (!fbUseThread) {
        fTimer.start(0);
        return;
    }
    if (fWorker.joinable())
        fWorker.join();
    fWorker = std::thread(
        [this, handOver = HandOver()] { fbPosted = handOver.Post([this] { Finish(fThreadResult); }); });
}

void TTestAsyncCmd::StopPendingWork()
{
    ++fiStops;
    fTimer.stop();
}

namespace {

const TCmdCreateCmd::TTable& TestFunctions()
{
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("TestDevice TCmdCreateCmd.Init: \"%s\" \"%s\""), 0x7F0163, 0x7F020A,
         QStringLiteral("T1")},
        {
            {"Run", CreateCommand<TTestCmd>, "TTestCmd", {EParamField::Label, EParamField::Text}},
            {"Other", CreateCommand<TTestCmd>},
            {"Shared",
             [](TDevice* aOwner) -> std::unique_ptr<TCommand> {
                 auto shared = std::make_unique<TTestCmd>(aOwner);
                 shared->fbStateless = true;
                 return shared;
             },
             nullptr,
             {},
             TCmdCreateCmd::eShared},
        }};
    return table;
}

} // namespace

TTestDevice::TTestDevice(TDeviceContext& aContext) : TDevice(aContext)
{
    TCmdCreateCmd::AddTo(*this, TestFunctions());
}

void TTestDevice::Init(const QString& sDefinition)
{
    fsDefinition = sDefinition;
    if (sDefinition.contains(QStringLiteral("failinit")))
        throw EMsg(QStringLiteral("cannot open"), TMsgId(0x7F0002), 0);
}

void TTestDevice::RunStarted()
{
    sHookCalls.push_back(QStringLiteral("RunStarted ") + Name());
}

void TTestDevice::RunEnded()
{
    sHookCalls.push_back(QStringLiteral("RunEnded ") + Name());
}

void TTestDevice::Released()
{
    sHookCalls.push_back(QStringLiteral("Released ") + Name());
    if (sOnReleased)
        sOnReleased(*this);
    if (fsDefinition.contains(QStringLiteral("failrelease")))
        throw EError(QStringLiteral("port stuck"));
}

void TTestDevice::Register()
{
    TestDeviceTypes().Register(
        QStringLiteral("TestDevice"), QStringLiteral("Test Device"), QStringLiteral("V1"),
        [](TDeviceContext& aContext) { return std::make_unique<TTestDevice>(aContext); },
        TCmdCreateCmd::Infos({&TestFunctions()}));
}

void TTestDevice::Unregister()
{
    TestDeviceTypes().Unregister(QStringLiteral("TestDevice"));
}
