#include "DefFileInterpreter.h"

#include "DefFileKeys.h"
#include "DefFileLint.h"
#include "DefFilePreprocessor.h"
#include "InterpreterHost.h"
#include "SocketNames.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/DeviceContext.h"

TInterpreter::TInterpreter(IInterpreterHost& aHost, TDeviceContext& aContext)
    : fHost(aHost), fContext(aContext)
{
    SetMsg(&fContext.Msg());
    CreateKeyList();
    if (fHost.CanQueryDefines())
        SetOnDefineQuery([this](QString& sText) { fHost.DefineQuery(sText); });
}

QString TInterpreter::LoadInfos() const
{
    QString sInfos = LastErrors();
    for (const QString& sWarning : fslDirectiveWarnings)
        sInfos += QStringLiteral("\r\nWarning: ") + sWarning;
    return sInfos + fsCheckWarnings;
}

std::unique_ptr<IDefinitionLoader> CreateInterpreterLoader(IInterpreterHost& aHost, TDeviceContext& aContext)
{
    return std::make_unique<TInterpreter>(aHost, aContext);
}

void TInterpreter::CreateKeyList()
{
    fKeyList.clear();
    AddKey(std::make_unique<TKeyBlockBegin>(*this));
    AddKey(std::make_unique<TKeyBlockEnd>(*this));
    AddKey(std::make_unique<TKeySet>(*this));
    AddKey(std::make_unique<TKeyTestCase>(*this));
    AddKey(std::make_unique<TKeyDeviceCreate>(*this));
    AddKey(std::make_unique<TKeyDeviceShared>(*this));
    AddKey(std::make_unique<TKeyDeviceFunction>(*this));
}

TInterpreterResult TInterpreter::LoadDefinition(TTestTree& aTreeView)
{
    FTreeView = &aTreeView;
    FCurrentNode = nullptr;
    TInterpreterResult eResult = irError;
    fsCheckWarnings.clear();
    fiCheckWarnings = 0;
    fslDirectiveWarnings.clear();
    try {
        TDefFileLint lint(*this, Context().Types());
        PredefineSocket(*this, Context().Socket());
        TDefFilePreprocessor(*this).Run();
        const bool bSummaries = fHost.LogsLoadSummaries();
        if (!LastErrors().isEmpty() && bSummaries)
            Msg().Warning(QStringLiteral("While loading file directives ...") + LastErrors());
        fslDirectiveWarnings = LastErrors().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        const bool bOk = KeywordPass();
        if (bOk && LastErrors().isEmpty())
            eResult = irSuccess;
        if (!LastErrors().isEmpty() && bSummaries)
            Msg().Error(QStringLiteral("While loading definition file...") + LastErrors());
        // Mistakes that load without an error; they do not change the outcome.
        lint.Check(*this);
        fsCheckWarnings = lint.LoadInfos();
        fiCheckWarnings = int(lint.Warnings().size());
        if (!fsCheckWarnings.isEmpty() && bSummaries)
            Msg().Warning(QStringLiteral("While checking definition file...") + fsCheckWarnings);
    } catch (const EOperationCancelled& e) {
        Msg().Debug(e.Message());
        eResult = irCancelled;
    }
    return eResult;
}

bool TInterpreter::KeywordPass()
{
    ClearLastErrors();
    Rewind();
    bool bResult = true;
    while (!EndOfFile()) {
        const QString sLine = GetNextLine();
        if (sLine.isEmpty())
            continue;
        try {
            bool bTaken = false;
            const QString sFileName = CurrentFileName();
            for (const auto& key : fKeyList) {
                auto* pKey = static_cast<TKeyBase*>(key.pObject.get());
                if (pKey->Process(sFileName, sLine)) {
                    bTaken = true;
                    break;
                }
            }
            if (!bTaken)
                throw EMsg(QStringLiteral("Unkown keyword in: \"%s\""), {sLine}, TMsgId(0x030100),
                           fiCurrentFile, CurrentData() ? CurrentData()->LineInFile() : 0);
        } catch (const EMsg& e) {
            // A hint on further lines follows the identifier, which stays with the message.
            const int iHint = e.Text().indexOf(QStringLiteral("\r\n"));
            const QString sText = Format(QStringLiteral("%s (%s)"), {e.Text().left(iHint), e.MsgNo()}) +
                                  (iHint < 0 ? QString() : e.Text().mid(iHint));
            if (e.Id().TypeNo() == cMsgTypeWarningMark) {
                AddLoadInfo(QStringLiteral("Warning: "), sText);
            } else {
                AddLoadInfo(QStringLiteral("Error: "), sText);
                bResult = false;
            }
        } catch (const EOperationCancelled&) {
            throw;
        } catch (const std::exception& e) {
            AddLoadInfo(QStringLiteral("Error: "), ExceptionText(e));
            bResult = false;
        }
    }
    return bResult;
}
