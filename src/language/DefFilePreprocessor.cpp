#include "DefFilePreprocessor.h"

#include "DefFileInterpreterBase.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "reporting/WinPrintersOnline.h"

namespace {

bool Begins(const QString& sLine, const char* sDirective)
{
    return sLine.startsWith(QLatin1String(sDirective), Qt::CaseInsensitive);
}

// Splits a "Parameter:" answer at every "&" outside double quotes.
QStringList SplitParameters(const QString& sList)
{
    QStringList items;
    QString sItem;
    bool bQuoted = false;
    for (const QChar c : sList) {
        if (c == QLatin1Char('"'))
            bQuoted = !bQuoted;
        if (c == QLatin1Char('&') && !bQuoted) {
            items.append(sItem);
            sItem.clear();
        } else {
            sItem += c;
        }
    }
    items.append(sItem);
    return items;
}

} // namespace

TDefFilePreprocessor::TDefFilePreprocessor(TInterpreterBase& aReader) : fReader(aReader) {}

TDefFilePreprocessor::~TDefFilePreprocessor() = default;

void TDefFilePreprocessor::Run()
{
    fDefines.clear();
    for (const auto& define : fReader.DefineList())
        fDefines.push_back({define.sName, define.pObject->Text().trimmed()});
    RebuildNameIndex();
    fReader.ClearLastErrors();
    fReader.Rewind();
    while (!fReader.EndOfFile()) {
        const QString sRead = fReader.GetNextLine();
        if (sRead.isEmpty())
            continue;
        try {
            ProcessLine(sRead);
        } catch (const EOperationCancelled&) {
            throw;
        } catch (const std::exception& e) {
            throw EError(Format(QStringLiteral("%s: %s"), {fReader.CurrentLocation(), ExceptionText(e)}));
        }
    }
}

void TDefFilePreprocessor::Blank()
{
    fReader.CurrentData()->ReplaceCurrentLine(QString());
}

void TDefFilePreprocessor::ProcessLine(const QString& sRead)
{
    if (fReader.OnDefineQuery() && Begins(sRead, "#showdefinedoc")) {
        ShowDefineDoc(sRead);
        return;
    }
    QString sWork = Substitute(sRead);
    fReader.CurrentData()->ReplaceCurrentLine(sWork);
    if (Begins(sWork, "#define ")) {
        HandleDefine(sWork);
        return;
    }
    if (!BuiltInTerms(sWork))
        return;
    ConditionDirective(sWork, sRead);
}

QString TDefFilePreprocessor::Substitute(const QString& sLine) const
{
    QString sName, sValue;
    if (Begins(sLine, "#define ") && fReader.ParseDefine(sLine, sName, sValue) && !sValue.isEmpty())
        return QStringLiteral("#define  ") + sName + QLatin1Char(' ') + SubstituteNames(sValue);
    return SubstituteNames(sLine);
}

void TDefFilePreprocessor::RebuildNameIndex()
{
    fByFirstChar.assign(128, {});
    fOtherFirstChar.clear();
    fiMaxNameLength = 0;
    for (int i = 0; i < int(fDefines.size()); ++i) {
        const QString& sName = fDefines[std::size_t(i)].sName;
        if (sName.isEmpty())
            continue;
        const char16_t c = sName.at(0).unicode();
        (c < 128 ? fByFirstChar[c] : fOtherFirstChar).push_back(i);
        fiMaxNameLength = std::max(fiMaxNameLength, int(sName.size()));
    }
}

void TDefFilePreprocessor::CollectNames(const QString& sText, int iFrom, int iTo,
                                        std::vector<char>& aFound) const
{
    const QStringView text(sText);
    for (int p = std::max(iFrom, 0); p < std::min(iTo, int(sText.size())); ++p) {
        const char16_t c = sText.at(p).unicode();
        const std::vector<int>& candidates = c < 128 ? fByFirstChar[c] : fOtherFirstChar;
        for (const int i : candidates) {
            if (!aFound[std::size_t(i)] && text.mid(p).startsWith(fDefines[std::size_t(i)].sName))
                aFound[std::size_t(i)] = 1;
        }
    }
}

QString TDefFilePreprocessor::SubstituteNames(QString sText) const
{
    if (fDefines.empty())
        return sText;
    std::vector<char> found(fDefines.size(), 0);
    CollectNames(sText, 0, int(sText.size()), found);
    for (std::size_t i = 0; i < fDefines.size(); ++i) {
        if (!found[i])
            continue;
        const QString& sName = fDefines[i].sName;
        const QString& sValue = fDefines[i].sValue;
        if (sValue.isEmpty())
            continue;
        int iPos = sText.indexOf(sName);
        if (iPos < 0)
            continue;
        // Its own name in a value would be inserted again and again without end.
        if (sValue.contains(sName))
            throw EError(Format(QStringLiteral("Define \"%s\" contains its own name in its value \"%s\": "
                                               "its substitution would never end"),
                                {sName, sValue}));
        while (iPos >= 0) {
            sText.replace(iPos, sName.size(), sValue);
            if (sText.size() > ciMaxLineLength)
                throw EError(
                    Format(QStringLiteral("Line grows beyond %d characters by the substitution of \"%s\""),
                           {ciMaxLineLength, sName}));
            // Later names may now occur in the inserted value or across its edges.
            CollectNames(sText, iPos - fiMaxNameLength + 1, iPos + int(sValue.size()), found);
            // Text before the replaced occurrence held no occurrence; only the value and its
            // surroundings can form a new one.
            iPos = sText.indexOf(sName, std::max(0, int(iPos - sName.size() + 1)));
        }
    }
    return sText;
}

void TDefFilePreprocessor::HandleDefine(const QString& sLine)
{
    Blank();
    QString sName, sValue;
    if (!fReader.ParseDefine(sLine, sName, sValue)) {
        fReader.AddLoadInfo(QString(),
                            Format(QStringLiteral("Invalid definition ignored: %s"), {TrimControl(sLine)}));
        return;
    }
    Define(sName, sValue, false);
}

void TDefFilePreprocessor::Define(const QString& sName, const QString& sValue, bool bFromDocument)
{
    for (std::size_t i = 0; i < fReader.DefineList().size(); ++i) {
        auto& define = fReader.DefineList()[i];
        if (define.sName.compare(sName, Qt::CaseInsensitive) == 0) {
            define.pObject->SetText(sValue);
            fDefines[i].sValue = sValue.trimmed();
            if (bFromDocument)
                fReader.AddLoadInfo(
                    QString(), Format(QStringLiteral("Doc define redefinition: %s = %s"), {sName, sValue}));
            else
                fReader.AddLoadInfo(QString(), Format(QStringLiteral("Redefinition of \"%s\""), {sName}));
            return;
        }
    }
    auto value = std::make_unique<TData>();
    value->SetText(sValue);
    fReader.DefineList().push_back({sName, std::move(value)});
    fDefines.push_back({sName, sValue.trimmed()});
    RebuildNameIndex();
}

bool TDefFilePreprocessor::IsDefined(const QString& sName) const
{
    for (const auto& define : fReader.DefineList()) {
        if (define.sName.compare(sName, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool TDefFilePreprocessor::BuiltInTerms(QString& sWork)
{
    if (sWork.contains(QLatin1String("__AbortWithMessage(")))
        throw EError(ExtractBetween(sWork, QLatin1Char('"')));
    if (sWork.contains(QLatin1String("__ShowWarning("))) {
        Blank();
        fReader.AddLoadInfo(QString(), Format(QStringLiteral("Warning message \"%s\""),
                                              {ExtractBetween(sWork, QLatin1Char('"'))}));
        return false;
    }
    static const QString sPrinterTerm = QStringLiteral("__PrinterInstalled(");
    const int iTerm = sWork.indexOf(sPrinterTerm);
    if (iTerm >= 0) {
        const int iOpen = iTerm + sPrinterTerm.size() - 1;
        const int iClose = sWork.indexOf(QLatin1Char(')'), iOpen);
        const QString sArgument =
            iClose < 0 ? sWork.mid(iOpen + 1) : sWork.mid(iOpen + 1, iClose - iOpen - 1);
        const QString sPrinter = Unquote(sArgument.trimmed(), QLatin1Char('"')).trimmed();
        if (!fPrintersOnline) {
            fPrintersOnline = std::make_unique<TWinPrintersOnline>();
            fPrintersOnline->Init();
        }
        const bool bFound = fPrintersOnline->IndexOf(sPrinter) >= 0;
        if (bFound)
            TMsg::Debug(QStringLiteral("%s: Printer \"%s\" found"), {fReader.CurrentLocation(), sPrinter});
        sWork.replace(iTerm, (iClose < 0 ? sWork.size() : iClose + 1) - iTerm,
                      bFound ? QStringLiteral("true") : QStringLiteral("false"));
    }
    return true;
}

void TDefFilePreprocessor::Trace(bool bResult, const QString& sRead, const QString& sWork) const
{
    const QString sResult = bResult ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (sWork != sRead)
        TMsg::Trace(QStringLiteral("%s: Condition %s for: \u00AB%s\u00BB resolved \u00AB%s\u00BB"),
                    {fReader.CurrentLocation(), sResult, sRead, sWork});
    else
        TMsg::Trace(QStringLiteral("%s: Condition %s for: \u00AB%s\u00BB"),
                    {fReader.CurrentLocation(), sResult, sRead});
}

void TDefFilePreprocessor::ConditionDirective(const QString& sWork, const QString& sRead)
{
    const auto missingIf = [](const char* sDirective) {
        return EError(
            Format(QStringLiteral("\"%s\" without \"%s\" or \"%s\"!"),
                   {QString::fromLatin1(sDirective), QStringLiteral("#if"), QStringLiteral("#ifdef")}));
    };
    const auto branch = [&](bool bTrue) {
        Trace(bTrue, sRead, sWork);
        if (bTrue) {
            fCondition.Write(eclIf);
        } else {
            SkipToNextBranch();
        }
    };

    if (Begins(sWork, "#ifdef") || Begins(sWork, "#ifndef")) {
        const bool bNot = Begins(sWork, "#ifndef");
        const bool bTrue = IsDefined(sWork.mid(bNot ? 7 : 6).trimmed()) != bNot;
        Blank();
        Trace(bTrue, sRead, sWork);
        fCondition.Push(bTrue ? eclIf : eclElse);
        if (!bTrue)
            SkipToNextBranch();
    } else if (Begins(sWork, "#if")) {
        Blank();
        const bool bTrue = TLoadCondition::IsTermTrue(sWork.mid(3).trimmed());
        Trace(bTrue, sRead, sWork);
        fCondition.Push(bTrue ? eclIf : eclElse);
        if (!bTrue)
            SkipToNextBranch();
    } else if (Begins(sWork, "#elifdef") || Begins(sWork, "#elif")) {
        const bool bDef = Begins(sWork, "#elifdef");
        Blank();
        const TConditionLevelTypes eLevel = fCondition.Read(false);
        if (eLevel == eclNone)
            throw missingIf(bDef ? "#elifdef" : "#elif");
        if (eLevel == eclIf) {
            SkipToNextBranch();
            return;
        }
        branch(bDef ? IsDefined(sWork.mid(8).trimmed()) : TLoadCondition::IsTermTrue(sWork.mid(5).trimmed()));
    } else if (Begins(sWork, "#else")) {
        Blank();
        const TConditionLevelTypes eLevel = fCondition.Read(true);
        if (eLevel == eclNone)
            throw missingIf("#else");
        if (eLevel == eclIf)
            SkipToNextBranch();
    } else if (Begins(sWork, "#endif")) {
        Blank();
        fCondition.Pop();
    }
}

void TDefFilePreprocessor::SkipToNextBranch()
{
    int iDepth = 0;
    while (!fReader.EndOfFile()) {
        const QString sRead = fReader.GetNextLine();
        if (sRead.isEmpty())
            continue;
        Blank();
        if (Begins(sRead, "#if")) {
            ++iDepth;
        } else if (iDepth == 0 && Begins(sRead, "#elifdef")) {
            ConditionDirective(sRead, sRead);
            return;
        } else if (iDepth == 0 && Begins(sRead, "#elif")) {
            QString sWork = Substitute(sRead);
            if (!BuiltInTerms(sWork))
                return;
            ConditionDirective(sWork, sRead);
            return;
        } else if (Begins(sRead, "#else")) {
            if (iDepth == 0) {
                ConditionDirective(sRead, sRead);
                return;
            }
        } else if (Begins(sRead, "#endif")) {
            if (iDepth == 0) {
                ConditionDirective(sRead, sRead);
                return;
            }
            --iDepth;
        }
    }
}

void TDefFilePreprocessor::ShowDefineDoc(const QString& sLine)
{
    const QString sSubstituted = Substitute(sLine);
    Blank();
    const int iBlank = FirstBlank(sSubstituted);
    if (iBlank == 0)
        throw EError(Format(QStringLiteral("Invalid \"%s\" definition: %s"),
                            {QStringLiteral("#ShowDefineDoc"), sLine}));
    const QString sReference = TrimControl(sSubstituted.mid(iBlank));
    const int iQuery = sReference.indexOf(QLatin1Char('?'));
    const QString sFile = ResolveFileName(iQuery < 0 ? sReference : sReference.left(iQuery), false);
    const QString sQuery = iQuery < 0 ? QString() : sReference.mid(iQuery + 1);
    if (!fReader.FileAvailable(sFile))
        throw EError(QStringLiteral("File not found: ") + sFile);
    QString sAnswer = sQuery.isEmpty() ? sFile : sFile + QLatin1Char('?') + sQuery;
    fReader.OnDefineQuery()(sAnswer);

    if (sAnswer.startsWith(QLatin1String("Parameter:"))) {
        for (const QString& sItem : SplitParameters(sAnswer.mid(10).trimmed())) {
            if (sItem.isEmpty())
                continue;
            const int iEquals = sItem.indexOf(QLatin1Char('='));
            Define(iEquals < 0 ? sItem : sItem.left(iEquals),
                   iEquals < 0 ? QString() : sItem.mid(iEquals + 1), true);
        }
    } else if (sAnswer.startsWith(QLatin1String("Cancelled"))) {
        throw EOperationCancelled(QStringLiteral("Loading file cancelled!"));
    } else if (sAnswer.startsWith(QLatin1String("Abandon"))) {
        throw EOperationCancelled(QStringLiteral("Loading file abandoned!"));
    } else {
        throw EError(QStringLiteral("Invalid parameter from definition doc: ") + sAnswer);
    }
}
