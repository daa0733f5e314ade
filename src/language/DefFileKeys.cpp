#include "DefFileKeys.h"

#include "DefFileInterpreter.h"
#include "InterpreterHost.h"

#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "core/StrUtilsEx.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "execution/SharedDeviceGate.h"
#include "execution/TestTree.h"
#include "reporting/ErrorReport.h"

#include <QFileInfo>

QString TKeyWithParameter::GetParameter(const QString& sLine)
{
    return ExtractBracketed(sLine, QLatin1Char('('), QLatin1Char(')'));
}

bool TKeyBlockBegin::Process(const QString&, const QString& sSyntax)
{
    return sSyntax.startsWith(QLatin1Char('{'));
}

bool TKeyBlockEnd::Process(const QString&, const QString& sSyntax)
{
    if (!sSyntax.startsWith(QLatin1Char('}')))
        return false;
    TTreeNode* pCurrent = Owner().CurrentNode();
    if (!pCurrent)
        throw EMsg(QStringLiteral("Invalid block end found"), TMsgId(0x06010A), 0);
    Owner().SetCurrentNode(pCurrent->Parent());
    return true;
}

namespace {

QChar OneCharacter(const QString& sText, const QString& sError, std::uint32_t dwId)
{
    if (sText.size() != 1)
        throw EMsg(sError, {sText}, TMsgId(dwId), 0);
    return sText.at(0);
}

} // namespace

bool TKeySet::Process(const QString&, const QString& sSyntax)
{
    if (!sSyntax.startsWith(QLatin1String("Set(")))
        return false;
    const QString sParameter = GetParameter(sSyntax);
    fCSV.SetStringLine(sParameter + fCSV.Separator());
    const QString sName = fCSV.GetString(0);
    IInterpreterHost& host = Owner().Host();

    if (sName == QLatin1String("FileInfo")) {
        host.SetFileInfo(fCSV.GetString(1), fCSV.GetString(2));
    } else if (sName == QLatin1String("DecimalSeparator")) {
        const QChar c = OneCharacter(fCSV.GetString(1),
                                     QStringLiteral("Invalid decimal separator \"%s\" defined"), 0x060229);
        TFormatSettings::App().cDecimalSeparator = c;
        Owner().Msg().Info(QStringLiteral("Application decimal separator set to \u00AB%s\u00BB"),
                           {QString(c)});
    } else if (sName == QLatin1String("ThousandSeparator")) {
        const QChar c = OneCharacter(
            fCSV.GetString(1), QStringLiteral("Invalid thousand group separator \"%s\" defined"), 0x06022A);
        TFormatSettings::App().cThousandSeparator = c;
        Owner().Msg().Info(QStringLiteral("Application thousand group separator set to \u00AB%s\u00BB"),
                           {QString(c)});
    } else if (sName == QLatin1String("DefaultDoc")) {
        const QString sFile = ResolveFileName(fCSV.GetString(1), false);
        if (!QFileInfo(sFile).isFile())
            throw EMsg(QStringLiteral("Default test document not found: \"%s\""), {sFile}, TMsgId(0x06020A),
                       0);
        host.SetDefaultDocument(sFile);
    } else if (sName == QLatin1String("Author")) {
        throw EMsg(TMsgId(0x060214), 0);
    } else if (sName == QLatin1String("KeyCodeToFunction")) {
        const int iKey = fCSV.GetInteger(1);
        const QString sCaption = fCSV.GetString(2);
        if (!host.AssignKey(iKey, sCaption))
            throw EMsg(QStringLiteral("Function \"%s\" not found in menu!"), {sCaption}, TMsgId(0x06021E), 0);
    } else if (sName == QLatin1String("ValueLog")) {
        TValueLog& log = Owner().Context().ValueLog();
        log.Init(fCSV.GetString(1), fCSV.ValueCount() > 3 ? fCSV.GetString(3) : QString());
        if (fCSV.ValueCount() > 2)
            log.UpdateStartDateTimeFormat(fCSV.GetString(2));
    } else if (sName == QLatin1String("ErrorReport")) {
        if (TErrorReport* pReport = host.ErrorReport())
            pReport->Init(sParameter);
    } else {
        DeclareVariable();
    }
    return true;
}

void TKeySet::DeclareVariable()
{
    const QString sType = fCSV.GetString(0);
    const QString sName = fCSV.GetString(1);
    TVariableManager& variables = Owner().Context().Variables();
    const auto is = [&](const char* s) { return sType.compare(QLatin1String(s), Qt::CaseInsensitive) == 0; };
    if (!is("Integer") && !is("Float") && !is("String"))
        throw EMsg(QStringLiteral("Unknown type \"%s\" in declaration set()."), {sType}, TMsgId(0x06025A), 0);
    if (variables.Confirm(sName, ectIsDeclared)) {
        Owner().Msg().Warning(QStringLiteral("Variable \"%s\" is already defined!"), {sName});
        return;
    }
    if (is("Integer"))
        variables.SetValue(sName, std::int64_t(0));
    else if (is("Float"))
        variables.SetValue(sName, 0.0);
    else
        variables.SetValue(sName, QString());
}

bool TKeyTestCase::Process(const QString&, const QString& sSyntax)
{
    if (!sSyntax.startsWith(QLatin1String("Test.")))
        return false;
    fCSV.SetStringLine(GetParameter(sSyntax) + fCSV.Separator() + fCSV.Separator());
    ECaseType eType = ecNormalCase;
    if (sSyntax.indexOf(QLatin1String("Case(")) == 5)
        eType = ecNormalCase;
    else if (sSyntax.indexOf(QLatin1String("Final(")) == 5)
        eType = ecFinalCase;
    else
        throw EMsg(QStringLiteral("Unkown test case \"%s\" in command line."), {sSyntax}, TMsgId(0x06030A),
                   0);
    const QString sOption = fCSV.GetString(1);
    const bool bExpanded = sOption.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                           sOption.compare(QLatin1String("Expanded"), Qt::CaseInsensitive) == 0;
    const TTreeNode* pParent = Owner().CurrentNode();
    if (pParent && pParent->Level() + 2 > ciMaxNesting)
        throw EMsg(QStringLiteral("Test cases nested deeper than %d levels!"), {ciMaxNesting},
                   TMsgId(0x060314), 0);
    TTreeNode* pNode = TJob::CreateNewJob(fCSV.GetString(0), *Owner().TreeView(), Owner().CurrentNode(),
                                          nullptr, eType, bExpanded);
    Owner().SetCurrentNode(pNode);
    return true;
}

bool TKeyDeviceCreate::Process(const QString&, const QString& sSyntax)
{
    if (!sSyntax.startsWith(QLatin1String("Device.Create(")))
        return false;
    Owner().Context().Devices().Append(GetParameter(sSyntax));
    return true;
}

bool TKeyDeviceShared::Process(const QString&, const QString& sSyntax)
{
    if (!sSyntax.startsWith(QLatin1String("Device.Shared(")))
        return false;
    TDeviceContext& context = Owner().Context();
    IStationDevices* pStation = context.StationDevices();
    if (!pStation) {
        context.Devices().Append(GetParameter(sSyntax));
        return true;
    }
    TDevice& device = pStation->SharedDevice(GetParameter(sSyntax), context);
    context.Devices().AddShared(device.Name(), &device);
    return true;
}

bool TKeyDeviceFunction::Process(const QString&, const QString& sSyntax)
{
    const int iDot = sSyntax.indexOf(QLatin1Char('.'));
    const QString sDevice = iDot < 0 ? QString() : sSyntax.left(iDot);
    const int iBracket = sSyntax.indexOf(QLatin1Char('('));
    QString sFunction;
    if (iDot >= 0)
        sFunction = iBracket > iDot ? sSyntax.mid(iDot + 1, iBracket - iDot - 1) : sSyntax.mid(iDot + 1);
    const QString sParameter = GetParameter(sSyntax);
    // The label is read in place: the node's text is its only copy.
    QStringView sLabel(sSyntax);
    if (!Owner().Context().Settings().ShowCmdLineInTreeView()) {
        const qsizetype iFirst = sParameter.indexOf(QLatin1Char('"'));
        const qsizetype iSecond = iFirst < 0 ? -1 : sParameter.indexOf(QLatin1Char('"'), iFirst + 1);
        sLabel = iSecond < 0 ? QStringView() : QStringView(sParameter).mid(iFirst + 1, iSecond - iFirst - 1);
    }

    TDevice* pDevice = Owner().Context().Devices().Device(sDevice);
    if (pDevice) {
        TCommand* pEntry = pDevice->Command(sFunction);
        if (!pEntry)
            throw EMsg(QStringLiteral("Unkown command \"%s\" in device \"%s\" skipped.\r\nKnown functions of "
                                      "\"%s\": %s"),
                       {sFunction, sDevice, sDevice, pDevice->FunctionNames().join(QStringLiteral(", "))},
                       TMsgId(0x060414), 0);
        TCommand* pCommand = pEntry->Init(sFunction, sParameter);
        TJob::CreateNewJob(sLabel, *Owner().TreeView(), Owner().CurrentNode(), pCommand, ecWorkCase, false);
        return true;
    }
    if (!Owner().Host().SkipErrors())
        throw EMsg(QStringLiteral("Device \"%s\" not declared, command \"%s\" skipped."),
                   {sDevice, sFunction}, TMsgId(0x06040A), 0);
    TJob::CreateNewJob(sLabel, *Owner().TreeView(), Owner().CurrentNode(), nullptr, ecDummy, false);
    return true;
}
