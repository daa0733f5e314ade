#include "DeviceDisplay.h"

#include "DeviceIndicator.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CmdParameters.h"
#include "execution/DeviceList.h"
#include "execution/DocumentDisplay.h"

namespace display {

// ---------------------------------------------------------------------------------------------
// TDeviceDisplay

TDeviceDisplay::TDeviceDisplay(TDeviceContext& aContext) : TDevice(aContext)
{
    TCmdCreateCmd::AddTo(*this, FunctionTable());
}

const TCmdCreateCmd::TTable& TDeviceDisplay::FunctionTable()
{
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("DeviceDisplay TCmdCreateCmd.Init: %s %s"), 0x12010A, 0x12020A, QStringLiteral("D1")},
        {
            {"Open", CreateCommand<TCmdOpen>, "TCmdOpen", {EParamField::Label, EParamField::File}},
            {"Goto", CreateCommand<TCmdGoTo>, "TCmdGoTo", {EParamField::Label, EParamField::Text}},
        }};
    return table;
}

void TDeviceDisplay::Init(const QString&)
{
    fPathAndFileName.clear();
}

// ---------------------------------------------------------------------------------------------
// TDeviceDisplayHTML

void TDeviceDisplayHTML::OpenFile(const QString& sFileName)
{
    fPathAndFileName = sFileName;
    Navigate(sFileName);
}

void TDeviceDisplayHTML::GoToAnchor(const QString& sAnchor)
{
    Navigate(Format(QStringLiteral("%s#%s"), {fPathAndFileName, sAnchor}));
}

void TDeviceDisplayHTML::Navigate(const QString& sTarget)
{
    IDocumentDisplay* pDocuments = Context().Documents();
    if (!pDocuments)
        throw EError(QStringLiteral("No document view available"));
    pDocuments->Navigate(sTarget);
}

// ---------------------------------------------------------------------------------------------
// Open and Goto

void TCmdDisplay::Show(const QString& sShown, const std::function<void(TDeviceDisplay& aDisplay)>& aNavigate)
{
    FCmdResult = crUnknown;
    try {
        aNavigate(Device());
    } catch (const std::exception& e) {
        const QString sError =
            Format(QStringLiteral("Not found \"%s\": \"%s\"!"), {sShown, ExceptionText(e)});
        Msg().Error(sError);
        SetErrorText(sError);
        Conclude(crFailed);
        return;
    }
    Conclude(crDone);
}

TCommand* TCmdOpen::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    fPathAndFileName = ResolveFileName(csv.GetString(1), true);
    return this;
}

void TCmdOpen::Execute(const QString&)
{
    Show(fPathAndFileName, [this](TDeviceDisplay& aDisplay) { aDisplay.OpenFile(fPathAndFileName); });
}

TCommand* TCmdGoTo::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    RequireFieldCount(csv, 2);
    fAnchor = csv.GetString(1);
    return this;
}

void TCmdGoTo::Execute(const QString&)
{
    Show(fAnchor, [this](TDeviceDisplay& aDisplay) { aDisplay.GoToAnchor(fAnchor); });
}

} // namespace display
