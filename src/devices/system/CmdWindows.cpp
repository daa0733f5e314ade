#include "CmdWindows.h"

#include "WindowSystem.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "execution/CmdParameters.h"
#include "execution/DefinitionOpener.h"
#include "execution/Device.h"
#include "execution/DeviceContext.h"

#include <QFileInfo>

namespace sys {

IWindowSystem* ReachableWindowSystem(TCommand& aCommand)
{
    IWindowSystem& windows = aCommand.Owner()->Context().Part<IWindowSystem>();
    QString sReason;
    if (windows.Available(sReason))
        return &windows;
    aCommand.Msg().Error(QStringLiteral("Windows cannot be reached: %s"), {sReason});
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TCmdExistWindow

TCommand* TCmdExistWindow::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    fsWindowCaption = ParameterFields(sParameter).GetValue(1);
    return this;
}

void TCmdExistWindow::Execute(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdExistWindow.Execute: ") + sParameter);
    IWindowSystem* windows = ReachableWindowSystem(*this);
    Conclude(windows && windows->ExistWindow(fsWindowCaption) ? crOk : crFailed);
}

// ---------------------------------------------------------------------------------------------
// TCmdSendKey

TCommand* TCmdSendKey::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fbyKeyCode = std::uint8_t(csv.GetInteger(1) & 0xFF);
    fsWindowCaption = csv.ValueCount() > 2 ? csv.GetValue(2) : QString();
    fbMonitored = csv.ValueCount() > 3 &&
                  csv.GetValueTrimmed(3).compare(QLatin1String("Monitored"), Qt::CaseInsensitive) == 0;
    return this;
}

void TCmdSendKey::Execute(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdSendKey.Execute: ") + sParameter);
    bool bSent = false;
    if (IWindowSystem* windows = ReachableWindowSystem(*this)) {
        if (fsWindowCaption.isEmpty())
            bSent = windows->InjectKey(fbyKeyCode);
        else
            bSent = windows->SendChar(fsWindowCaption, fbyKeyCode);
    }
    if (!fbMonitored)
        return Conclude(crDone);
    Conclude(bSent ? crOk : crFailed);
}

// ---------------------------------------------------------------------------------------------
// TCmdOpenTzd

TCommand* TCmdOpenTzd::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsFileName = ResolveFileName(csv.GetStringTrimmed(1), true);
    const QString sAction = csv.GetValueTrimmed(2);
    if (sAction.compare(QLatin1String("AutoStart"), Qt::CaseInsensitive) == 0)
        fbAutoStart = true;
    else if (sAction.compare(QLatin1String("OpenOnly"), Qt::CaseInsensitive) == 0)
        fbAutoStart = false;
    else
        throw EMsg(QStringLiteral("Invalid action \"%s\"!"), {sAction}, TMsgId(0x117100), 0);
    return this;
}

void TCmdOpenTzd::Execute(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdFileOpen.Execute: ") + sParameter);
    if (!QFileInfo(fsFileName).isFile()) {
        Msg().Error(QStringLiteral("File not found: \"%s\""), {fsFileName});
        return Conclude(crFailed);
    }
    IDefinitionOpener* opener = Owner()->Context().DefinitionOpener();
    if (!opener) {
        SetErrorText(QStringLiteral("No program to open \"%s\""), {fsFileName});
        Msg().Error(QStringLiteral("No program to open \"%s\""), {fsFileName});
        return Conclude(crFailed);
    }
    // The program releases this definition, this command included, once the current event is over.
    opener->InitNewDefFile(fsFileName, fbAutoStart);
}

} // namespace sys
