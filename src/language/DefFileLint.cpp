#include "DefFileLint.h"

#include "SocketNames.h"

#include "DefFileInterpreterBase.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgUtils.h"
#include "core/ParseExpr.h"
#include "core/StrUtilsEx.h"
#include "execution/DeviceTypes.h"

#include <QSet>

#include <algorithm>

namespace {

bool Begins(const QString& sLine, const char* sStart)
{
    return sLine.startsWith(QLatin1String(sStart), Qt::CaseInsensitive);
}

bool IsNameStart(QChar c)
{
    return c == QLatin1Char('_') || (c.unicode() < 128 && c.isLetter());
}

bool IsNameChar(QChar c)
{
    return IsNameStart(c) || (c.unicode() < 128 && c.isDigit());
}

// The end of the number that starts at i: digits and decimal points, then an optional exponent.
int SkipNumber(const QString& s, int i)
{
    const int n = int(s.size());
    while (i < n && (s.at(i).isDigit() || s.at(i) == QLatin1Char('.') || s.at(i) == QLatin1Char(',')))
        ++i;
    if (i < n && s.at(i).toLower() == QLatin1Char('e')) {
        int j = i + 1;
        if (j < n && (s.at(j) == QLatin1Char('+') || s.at(j) == QLatin1Char('-')))
            ++j;
        if (j < n && s.at(j).isDigit()) {
            while (j < n && s.at(j).isDigit())
                ++j;
            i = j;
        }
    }
    return i;
}

// The index of the ")" that closes the first "(" of sLine, -1 when it is missing, -2 when the line
// has no "(".
int ClosingParenthesis(const QString& sLine)
{
    const int iOpen = sLine.indexOf(QLatin1Char('('));
    if (iOpen < 0)
        return -2;
    int iDepth = 0;
    for (int i = iOpen; i < sLine.size(); ++i) {
        if (sLine.at(i) == QLatin1Char('('))
            ++iDepth;
        else if (sLine.at(i) == QLatin1Char(')') && --iDepth == 0)
            return i;
    }
    return -1;
}

TCommaSeparatedValue Fields(const QString& sLine, int iSeparators)
{
    TCommaSeparatedValue csv;
    QString sText = ExtractBracketed(sLine, QLatin1Char('('), QLatin1Char(')'));
    for (int i = 0; i < iSeparators; ++i)
        sText += csv.Separator();
    csv.SetStringLine(sText);
    return csv;
}

bool IsSettingName(const QString& sName)
{
    static const char* const names[] = {"FileInfo", "DecimalSeparator",  "ThousandSeparator", "DefaultDoc",
                                        "Author",   "KeyCodeToFunction", "ValueLog",          "ErrorReport"};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* s) { return sName == QLatin1String(s); });
}

} // namespace

TDefFileLint::TDefFileLint(const TInterpreterBase& aReader, const TDeviceTypes& aTypes)
    : fRawLines(Segments(aReader)), fTypes(aTypes)
{}

TDefFileLint::~TDefFileLint() = default;

std::vector<TDefFileLint::TSegment> TDefFileLint::Segments(const TInterpreterBase& aReader)
{
    std::vector<TSegment> segments;
    for (const auto& entry : aReader.FileList())
        segments.push_back({entry.sName, entry.pObject->LineOffset(), entry.pObject->Lines()});
    return segments;
}

void TDefFileLint::Warn(const TLocation& aAt, const QString& sText)
{
    // The preprocessing pass rewrites lines in place: both lists have the same segments.
    const TSegment& segment = fRawLines.at(std::size_t(aAt.iSegment));
    fFound.push_back({aAt, {segment.sFileName, segment.iLineOffset + aAt.iIndex + 1, sText}});
}

void TDefFileLint::Check(const TInterpreterBase& aReader)
{
    fLines = Segments(aReader);
    fParser = std::make_unique<TExpressionParser>();
    fWarnings.clear();
    fFound.clear();
    for (const auto& define : aReader.DefineList())
        fDefines.insert(define.sName, define.pObject->Text().trimmed());

    CheckDirectives(aReader);
    // Every session declares the socket number before the definition's own variables.
    DeclareVariable(QLatin1String(csSocketVariable));
    CollectStatements(fLines);
    for (int s = 0; s < int(fLines.size()); ++s) {
        const QStringList& lines = fLines[std::size_t(s)].slLines;
        for (int i = 0; i < lines.size(); ++i) {
            const QString& sLine = lines.at(i);
            if (!sLine.isEmpty() && !sLine.startsWith(QLatin1Char('{')) &&
                !sLine.startsWith(QLatin1Char('}')) && !sLine.startsWith(QLatin1String("Set(")) &&
                !sLine.startsWith(QLatin1String("Test.")) &&
                !sLine.startsWith(QLatin1String("Device.Create(")) &&
                !sLine.startsWith(QLatin1String("Device.Shared(")))
                CheckFunction(sLine, {s, i});
        }
    }
    CheckTargets();

    std::stable_sort(fFound.begin(), fFound.end(), [](const auto& a, const auto& b) {
        return std::make_pair(a.first.iSegment, a.first.iIndex) <
               std::make_pair(b.first.iSegment, b.first.iIndex);
    });
    for (auto& found : fFound)
        fWarnings.push_back(std::move(found.second));
    fFound.clear();
    if (fTestCases.empty())
        fWarnings.push_back({aReader.FileName(), 1,
                             QStringLiteral("The definition has no test case: nothing will run (a test case "
                                            "starts with Test.Case(...))")});
}

QString TDefFileLint::LoadInfos() const
{
    QString sInfos;
    for (const TWarning& warning : fWarnings)
        sInfos += Format(QStringLiteral("\r\nWarning: %s, %d: %s"),
                         {warning.sFileName, warning.iLine, warning.sText});
    return sInfos;
}

void TDefFileLint::CheckDirectives(const TInterpreterBase& aReader)
{
    // Every #define counts, also one in a branch that was dropped: a name defined only there is
    // the writer's choice, not a typo.
    for (const TSegment& segment : fRawLines) {
        for (const QString& sLine : segment.slLines) {
            QString sName, sValue;
            if (Begins(sLine, "#define ") && aReader.ParseDefine(sLine, sName, sValue) &&
                !fDefines.contains(sName))
                fDefines.insert(sName, sValue.trimmed());
        }
    }
    for (int s = 0; s < int(fRawLines.size()); ++s) {
        const QStringList& lines = fRawLines[std::size_t(s)].slLines;
        for (int i = 0; i < lines.size(); ++i) {
            const QString& sLine = lines.at(i);
            if (!sLine.startsWith(QLatin1Char('#')) || Begins(sLine, "#ifdef") || Begins(sLine, "#ifndef") ||
                Begins(sLine, "#elifdef"))
                continue;
            if (Begins(sLine, "#if"))
                CheckTerm(sLine.mid(3), QStringLiteral("#if condition"), {s, i}, true);
            else if (Begins(sLine, "#elif"))
                CheckTerm(sLine.mid(5), QStringLiteral("#elif condition"), {s, i}, true);
        }
    }
}

void TDefFileLint::CollectStatements(const std::vector<TSegment>& aLines)
{
    std::vector<TNamed> open;
    for (int s = 0; s < int(aLines.size()); ++s) {
        const QStringList& lines = aLines[std::size_t(s)].slLines;
        for (int i = 0; i < lines.size(); ++i) {
            const QString& sLine = lines.at(i);
            const TLocation at{s, i};
            if (sLine.isEmpty() || sLine.startsWith(QLatin1Char('{')))
                continue;
            if (sLine.startsWith(QLatin1Char('}'))) {
                if (!open.empty())
                    open.pop_back();
                continue;
            }
            const int iClose = ClosingParenthesis(sLine);
            if (iClose == -1)
                Warn(at,
                     Format(QStringLiteral("\"%s\" has no closing parenthesis: its parameters are read as "
                                           "empty"),
                            {sLine.left(sLine.indexOf(QLatin1Char('(')) + 1)}));
            try {
                if (sLine.startsWith(QLatin1String("Set("))) {
                    const TCommaSeparatedValue csv = Fields(sLine, 1);
                    const QString sType = csv.GetString(0);
                    if (IsSettingName(sType) || csv.ValueCount() < 2)
                        continue;
                    const bool bType = QStringList{QStringLiteral("Integer"), QStringLiteral("Float"),
                                                   QStringLiteral("String")}
                                           .contains(sType, Qt::CaseInsensitive);
                    const QString sName = csv.GetString(1);
                    if (bType && !sName.isEmpty())
                        DeclareVariable(sName);
                } else if (sLine.startsWith(QLatin1String("Test."))) {
                    if (sLine.indexOf(QLatin1String("Case(")) != 5 &&
                        sLine.indexOf(QLatin1String("Final(")) != 5)
                        continue;
                    const QString sName = Fields(sLine, 2).GetString(0);
                    const QString sKey = sName.toLower();
                    const auto first = fTestCaseIndex.constFind(sKey);
                    if (first != fTestCaseIndex.constEnd()) {
                        const TLocation& firstAt = fTestCases[std::size_t(*first)].location;
                        const TSegment& segment = aLines[std::size_t(firstAt.iSegment)];
                        Warn(at,
                             Format(QStringLiteral(
                                        "Test case \"%s\" has the same name as the test case in "
                                        "line %d of %s: jumps and status changes reach only that one"),
                                    {sName, segment.iLineOffset + firstAt.iIndex + 1, segment.sFileName}));
                    } else {
                        fTestCaseIndex.insert(sKey, int(fTestCases.size()));
                    }
                    fTestCases.push_back({sName, at});
                    fNodeLabels.insert(sKey, true);
                    open.push_back({sName, at});
                } else if (sLine.startsWith(QLatin1String("Device.Create(")) ||
                           sLine.startsWith(QLatin1String("Device.Shared("))) {
                    const TCommaSeparatedValue csv = Fields(sLine, 1);
                    if (csv.ValueCount() > 1) {
                        QStringList& keywords = fDeviceTypes[csv.GetValueTrimmed(1)];
                        if (!keywords.contains(csv.GetValueTrimmed(0)))
                            keywords.append(csv.GetValueTrimmed(0));
                    }
                } else {
                    // The label as the keyword pass takes it: between the first two quotes of the
                    // parameters; read in place, as every function line passes here.
                    QStringView parameter;
                    if (iClose >= 0) {
                        const int iOpen = int(sLine.indexOf(QLatin1Char('(')));
                        parameter = QStringView(sLine).mid(iOpen + 1, iClose - iOpen - 1);
                    }
                    QStringView label;
                    const qsizetype iFirst = parameter.indexOf(QLatin1Char('"'));
                    const qsizetype iSecond =
                        iFirst < 0 ? -1 : parameter.indexOf(QLatin1Char('"'), iFirst + 1);
                    if (iSecond >= 0)
                        label = parameter.mid(iFirst + 1, iSecond - iFirst - 1);
                    fNodeLabels.insert(label.toString().toLower(), true);
                }
            } catch (const std::exception&) {
                // The keyword pass reports the line's own errors.
            }
        }
    }
    for (const TNamed& testCase : open)
        Warn(testCase.location,
             Format(QStringLiteral("Test case \"%s\" is still open at the end of the file (a \"}\" is "
                                   "missing): every later test case is nested in it"),
                    {testCase.sName}));
}

void TDefFileLint::CheckReferences(const QString& sField, const TLocation& aAt)
{
    for (int i = sField.indexOf(QLatin1Char('%')); i >= 0 && i + 1 < sField.size();
         i = sField.indexOf(QLatin1Char('%'), i + 1)) {
        // "%%" is a percent sign; "%" before anything but a name is one, too ("100% sure").
        if (sField.at(i + 1) == QLatin1Char('%')) {
            ++i;
            continue;
        }
        if (!IsNameStart(sField.at(i + 1)) || VariableAt(sField, i) > 0)
            continue;
        int iEnd = i + 1;
        while (iEnd < sField.size() && IsNameChar(sField.at(iEnd)))
            ++iEnd;
        Warn(aAt, Format(QStringLiteral("\"%s\" names no declared variable: the text keeps it as written"),
                         {sField.mid(i, iEnd - i)}));
    }
}

void TDefFileLint::CheckFunction(const QString& sLine, const TLocation& aAt)
{
    const int iDot = sLine.indexOf(QLatin1Char('.'));
    const int iBracket = sLine.indexOf(QLatin1Char('('));
    if (iDot < 0 || iBracket < iDot)
        return;
    const QString sFunction = sLine.mid(iDot + 1, iBracket - iDot - 1);
    const TFunctionInfo* pFunction = FunctionOf(sLine.left(iDot), sFunction);
    // The parameters after the label field. A number format is no text; conditions and terms have
    // a check of their own.
    const auto ownCheck = [&](int iField) {
        if (!pFunction)
            return false;
        const EParamField eField = pFunction->Field(iField);
        return eField == EParamField::NumberFormat || eField == EParamField::Condition ||
               eField == EParamField::Term;
    };
    if (sLine.contains(QLatin1Char('%'))) {
        try {
            const TCommaSeparatedValue csv = Fields(sLine, 1);
            for (int i = 1; i < csv.ValueCount(); ++i) {
                if (!ownCheck(i))
                    CheckReferences(csv.GetString(i), aAt);
            }
        } catch (const std::exception&) {
            // The command reports its own parameter errors while the definition loads.
        }
    }
    // Only functions with test-case names, conditions or terms have fields to check: the other
    // lines are not split again.
    const auto checked = [](EParamField eField) {
        return eField == EParamField::TestCase || eField == EParamField::TestCaseOrReference ||
               eField == EParamField::Condition || eField == EParamField::Term;
    };
    if (!pFunction || std::none_of(pFunction->Fields.begin(), pFunction->Fields.end(), checked))
        return;
    try {
        const TCommaSeparatedValue csv = Fields(sLine, 1);
        const int iFields = std::min(csv.ValueCount(), int(pFunction->Fields.size()));
        for (int i = 1; i < iFields; ++i) {
            switch (pFunction->Field(i)) {
            case EParamField::TestCase:
                fTargets.push_back({sFunction, csv.GetStringTrimmed(i), aAt});
                break;
            case EParamField::TestCaseOrReference:
                // A name with a variable reference is only known when the step runs.
                if (!csv.GetStringTrimmed(i).contains(QLatin1Char('%')))
                    fTargets.push_back({sFunction, csv.GetStringTrimmed(i), aAt});
                break;
            case EParamField::Condition:
                CheckTerm(csv.GetStringTrimmed(i), sFunction + QStringLiteral(" condition"), aAt, false);
                break;
            case EParamField::Term:
                CheckTerm(csv.GetValueTrimmed(i), sFunction + QStringLiteral(" term"), aAt, false);
                break;
            default:
                break;
            }
        }
    } catch (const std::exception&) {
        // The command reports its own parameter errors while the definition loads.
    }
}

const TFunctionInfo* TDefFileLint::FunctionOf(const QString& sDevice, const QString& sFunction) const
{
    const auto it = fDeviceTypes.constFind(sDevice);
    if (it == fDeviceTypes.constEnd())
        return nullptr;
    for (const QString& sKeyword : *it) {
        if (const TFunctionInfo* pFunction = fTypes.Function(sKeyword, sFunction))
            return pFunction;
    }
    return nullptr;
}

void TDefFileLint::CheckTargets()
{
    for (const TTarget& target : fTargets) {
        if (!fNodeLabels.contains(target.sName.toLower()))
            Warn(target.location, Format(QStringLiteral("%s target \"%s\" names no test case"),
                                         {target.sFunction, target.sName}));
    }
}

void TDefFileLint::DeclareVariable(const QString& sName)
{
    if (fVariablesLower.contains(sName.toLower()))
        return; // a second declaration keeps the first variable
    const int iOrder = int(fVariablesLower.size());
    fVariablesLower.insert(sName.toLower(), sName);
    int iNode = 0;
    for (const QChar c : sName) {
        const quint64 dwKey = (quint64(iNode) << 16) | c.unicode();
        auto it = fNameTrie.constFind(dwKey);
        if (it == fNameTrie.constEnd()) {
            fNameOrder.push_back(-1);
            it = fNameTrie.insert(dwKey, int(fNameOrder.size()) - 1);
        }
        iNode = *it;
    }
    fNameOrder[std::size_t(iNode)] = iOrder;
}

int TDefFileLint::VariableAt(const QString& sText, int iPos) const
{
    // As the variables are inserted: the first declared one whose name follows the "%" wins. The
    // walk along the names' tree looks at each character after the "%" once.
    int iFoundOrder = -1;
    int iFoundLength = 0;
    int iNode = 0;
    for (int i = iPos + 1; i < sText.size(); ++i) {
        const auto it = fNameTrie.constFind((quint64(iNode) << 16) | sText.at(i).unicode());
        if (it == fNameTrie.constEnd())
            break;
        iNode = *it;
        const int iOrder = fNameOrder[std::size_t(iNode)];
        if (iOrder >= 0 && (iFoundOrder < 0 || iOrder < iFoundOrder)) {
            iFoundOrder = iOrder;
            iFoundLength = i - iPos;
        }
    }
    return iFoundLength;
}

void TDefFileLint::CheckTerm(const QString& sTerm, const QString& sWhat, const TLocation& aAt,
                             bool bDirective)
{
    QString sWork = sTerm.trimmed();
    if (bDirective) {
        if (sWork.contains(QLatin1String("__AbortWithMessage(")) ||
            sWork.contains(QLatin1String("__ShowWarning(")))
            return;
        // The printer term becomes "true" or "false" before the condition is evaluated.
        static const QString sPrinterTerm = QStringLiteral("__PrinterInstalled(");
        const int iTerm = sWork.indexOf(sPrinterTerm);
        if (iTerm >= 0) {
            const int iClose = sWork.indexOf(QLatin1Char(')'), iTerm);
            sWork.replace(iTerm, (iClose < 0 ? sWork.size() : iClose + 1) - iTerm, QStringLiteral("true"));
        }
        if (sWork.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
            sWork.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return;
    } else {
        // Variable references become a number, as their values will be.
        QString sInserted;
        for (int i = 0; i < sWork.size(); ++i) {
            if (sWork.at(i) != QLatin1Char('%')) {
                sInserted += sWork.at(i);
                continue;
            }
            const int iLength = VariableAt(sWork, i);
            if (iLength > 0) {
                sInserted += QLatin1Char('0');
                i += iLength;
                continue;
            }
            int iEnd = i + 1;
            while (iEnd < sWork.size() && IsNameChar(sWork.at(iEnd)))
                ++iEnd;
            if (iEnd == i + 1) {
                sInserted += sWork.at(i); // the percent operator
                continue;
            }
            Warn(aAt, Format(QStringLiteral("\"%s\" in the %s \"%s\" refers to no declared variable"),
                             {sWork.mid(i, iEnd - i), sWhat, sTerm.trimmed()}));
            sInserted += QLatin1Char('0');
            i = iEnd - 1;
        }
        sWork = sInserted;
    }
    WarnUnknownNames(sWork, sTerm.trimmed(), sWhat, aAt, bDirective);
}

QStringList TDefFileLint::UnknownNames(const QString& sTerm, bool bDirective)
{
    QStringList slUnknown;
    QSet<QString> seen;
    const auto add = [&](const QString& sName) {
        if (!seen.contains(sName)) {
            seen.insert(sName);
            slUnknown.append(sName);
        }
    };
    const int n = int(sTerm.size());
    int i = 0;
    while (i < n) {
        const QChar c = sTerm.at(i);
        if (c == QLatin1Char('\'')) {
            const int iClose = sTerm.indexOf(QLatin1Char('\''), i + 1);
            i = iClose < 0 ? n : iClose + 1;
        } else if (c == QLatin1Char('$')) {
            ++i;
            while (i < n && isxdigit(sTerm.at(i).toLatin1()))
                ++i;
        } else if (c.isDigit() || c == QLatin1Char('.')) {
            i = SkipNumber(sTerm, i);
        } else if (IsNameStart(c)) {
            int iEnd = i + 1;
            while (iEnd < n && IsNameChar(sTerm.at(iEnd)))
                ++iEnd;
            const QString sName = sTerm.mid(i, iEnd - i);
            i = iEnd;
            if (bDirective && fDefines.contains(sName)) {
                if (seen.contains(QLatin1Char('#') + sName))
                    continue; // this define's names are in already
                seen.insert(QLatin1Char('#') + sName);
                for (const QString& sInner : DefineUnknownNames(sName))
                    add(sInner);
            } else if (!fParser->FindWord(sName)) {
                add(sName);
            }
        } else {
            ++i;
        }
    }
    return slUnknown;
}

const QStringList& TDefFileLint::DefineUnknownNames(const QString& sName)
{
    // Each define is looked into once, however often conditions use it; a define that refers
    // back to itself adds nothing the second time.
    const auto known = fDefineUnknowns.constFind(sName);
    if (known != fDefineUnknowns.constEnd())
        return *known;
    fDefineUnknowns.insert(sName, QStringList());
    const QString sValue = fDefines.value(sName);
    // A name defined without a value is not replaced: the condition sees the name itself.
    const QStringList slUnknown = sValue.isEmpty() ? QStringList{sName} : UnknownNames(sValue, true);
    return *fDefineUnknowns.insert(sName, slUnknown);
}

void TDefFileLint::WarnUnknownNames(const QString& sTerm, const QString& sShown, const QString& sWhat,
                                    const TLocation& aAt, bool bDirective)
{
    for (const QString& sName : UnknownNames(sTerm, bDirective)) {
        QString sHint;
        if (bDirective && fDefines.contains(sName) && fDefines.value(sName).isEmpty()) {
            sHint = QStringLiteral(" (it is defined without a value; test that with #ifdef)");
        } else if (!bDirective) {
            const auto variable = fVariablesLower.constFind(sName.toLower());
            if (variable != fVariablesLower.constEnd())
                sHint = Format(QStringLiteral(" (the variable is written \"%%%s\")"), {*variable});
        }
        Warn(aAt, Format(QStringLiteral("Name \"%s\" in the %s \"%s\" is neither a declared variable (\"%%\" "
                                        "and its name) nor a function or constant of the expressions: it "
                                        "reads as not a number%s"),
                         {sName, sWhat, sShown, sHint}));
    }
}
