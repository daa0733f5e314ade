#include "DefFilePreprocessor.h"

#include "DefFileInterpreterBase.h"
#include "SocketNames.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "reporting/WinPrintersOnline.h"

#include <algorithm>

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

// The name with every character case-folded, as the comparison without regard to case folds
// them: two names compare equal that way exactly when their folded forms are the same.
QString FoldedName(const QString& sName)
{
    QString sFolded;
    sFolded.reserve(sName.size());
    const qsizetype iSize = sName.size();
    for (qsizetype i = 0; i < iSize; ++i) {
        char32_t c = sName.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < iSize && sName.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(sName.at(i), sName.at(i + 1));
            ++i;
        }
        c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            sFolded += QChar(QChar::highSurrogate(c));
            sFolded += QChar(QChar::lowSurrogate(c));
        } else {
            sFolded += QChar(char16_t(c));
        }
    }
    return sFolded;
}

EError LineTooLong(const QString& sName)
{
    return EError(Format(QStringLiteral("Line grows beyond %d characters by the substitution of \"%s\""),
                         {TDefFilePreprocessor::ciMaxLineLength, sName}));
}

// The state of a search for sName after the characters of sText before iEnd: the length of the
// longest beginning of sName that ends there. Only the last characters of sText count.
int MatchedLength(const QString& sName, const std::vector<int>& aFallback, const QString& sText, int iEnd)
{
    const int iLength = int(sName.size());
    int iMatched = 0;
    for (int i = std::max(0, iEnd - iLength + 1); i < iEnd; ++i) {
        while (iMatched > 0 && sName.at(iMatched) != sText.at(i))
            iMatched = aFallback[std::size_t(iMatched - 1)];
        if (sName.at(iMatched) == sText.at(i))
            ++iMatched;
    }
    return iMatched;
}

// Replaces the first occurrence of sName (which occurs, at iFirst) by sValue again and again,
// each time searching from the start of the text, without moving the rest of the text at every
// replacement: the text up to the search position is built up in sText, what is still to be
// searched waits reversed in sAhead with the inserted value on top. As no occurrence ends before
// the search position, the next one is the first one. aInserted tells for every character of the
// result whether it came from an inserted value.
void ReplaceAll(QString& sText, int iFirst, const QString& sName, const QString& sValue,
                std::vector<char>& aInserted)
{
    const int iLength = int(sName.size());
    // For every beginning of the name, the longest shorter one that is also its end.
    std::vector<int> aFallback(std::size_t(iLength), 0);
    for (int i = 1, k = 0; i < iLength; ++i) {
        while (k > 0 && sName.at(i) != sName.at(k))
            k = aFallback[std::size_t(k - 1)];
        if (sName.at(i) == sName.at(k))
            ++k;
        aFallback[std::size_t(i)] = k;
    }
    QString sAhead(sText.mid(iFirst));
    std::reverse(sAhead.begin(), sAhead.end());
    std::vector<char> aheadInserted(std::size_t(sAhead.size()), 0);
    QString sReversedValue(sValue);
    std::reverse(sReversedValue.begin(), sReversedValue.end());
    sText.truncate(iFirst);
    aInserted.assign(std::size_t(iFirst), 0);
    int iMatched = MatchedLength(sName, aFallback, sText, int(sText.size()));
    while (!sAhead.isEmpty()) {
        const QChar c = sAhead.back();
        sAhead.chop(1);
        sText += c;
        aInserted.push_back(aheadInserted.back());
        aheadInserted.pop_back();
        while (iMatched > 0 && sName.at(iMatched) != c)
            iMatched = aFallback[std::size_t(iMatched - 1)];
        if (sName.at(iMatched) == c)
            ++iMatched;
        if (iMatched < iLength)
            continue;
        sText.chop(iLength);
        aInserted.resize(aInserted.size() - std::size_t(iLength));
        sAhead += sReversedValue;
        aheadInserted.resize(aheadInserted.size() + std::size_t(sValue.size()), 1);
        if (sText.size() + sAhead.size() > TDefFilePreprocessor::ciMaxLineLength)
            throw LineTooLong(sName);
        iMatched = MatchedLength(sName, aFallback, sText, int(sText.size()));
    }
}

} // namespace

TDefFilePreprocessor::TDefFilePreprocessor(TInterpreterBase& aReader) : fReader(aReader) {}

TDefFilePreprocessor::~TDefFilePreprocessor() = default;

void TDefFilePreprocessor::Run()
{
    fDefines.clear();
    fByFoldedName.clear();
    fNameTree.assign(1, TNameNode());
    fRootAscii.fill(-1);
    fiMaxNameLength = 0;
    fFoundIn.clear();
    fiPreprocessedLength = 0;
    for (const auto& define : fReader.DefineList()) {
        fDefines.push_back({define.sName, define.pObject->Text().trimmed()});
        IndexLastDefine();
    }
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
    if (BuiltInTerms(sWork) && ConditionDirective(sWork, sRead))
        SkipToNextBranch();
}

QString TDefFilePreprocessor::Substitute(const QString& sLine)
{
    QString sName, sValue;
    const QString sResult =
        Begins(sLine, "#define ") && fReader.ParseDefine(sLine, sName, sValue) && !sValue.isEmpty()
            ? QStringLiteral("#define  ") + sName + QLatin1Char(' ') + SubstituteNames(sValue)
            : SubstituteNames(sLine);
    fiPreprocessedLength += sResult.size();
    if (fiPreprocessedLength > ciMaxPreprocessedLength)
        throw EMsg(QStringLiteral("Definition too large: the preprocessed text exceeds the limit of %d "
                                  "characters!"),
                   {ciMaxPreprocessedLength}, TMsgId(0x03080A), 0);
    return sResult;
}

int TDefFilePreprocessor::FindDefine(const QString& sName) const
{
    return fByFoldedName.value(FoldedName(sName), -1);
}

int TDefFilePreprocessor::ChildOf(int iNode, char16_t c) const
{
    if (iNode == 0 && c < fRootAscii.size())
        return fRootAscii[c];
    const auto& children = fNameTree[std::size_t(iNode)].aChildren;
    const auto it = std::lower_bound(children.begin(), children.end(), std::make_pair(c, -1));
    return it != children.end() && it->first == c ? it->second : -1;
}

void TDefFilePreprocessor::SetChild(int iNode, char16_t c, int iChild)
{
    if (iNode == 0 && c < fRootAscii.size()) {
        fRootAscii[c] = iChild;
        return;
    }
    auto& children = fNameTree[std::size_t(iNode)].aChildren;
    const auto it = std::lower_bound(children.begin(), children.end(), std::make_pair(c, -1));
    if (it != children.end() && it->first == c)
        it->second = iChild;
    else
        children.insert(it, std::make_pair(c, iChild));
}

QStringView TDefFilePreprocessor::Label(int iNode) const
{
    const TNameNode& node = fNameTree[std::size_t(iNode)];
    return QStringView(fDefines[std::size_t(node.iLabelDefine)].sName)
        .mid(node.iLabelStart, node.iLabelLength);
}

void TDefFilePreprocessor::IndexLastDefine()
{
    const int iDefine = int(fDefines.size()) - 1;
    const QString& sName = fDefines.back().sName;
    fFoundIn.push_back(0);
    // The first of several names that differ in case only is the one found.
    const QString sFolded = FoldedName(sName);
    if (!fByFoldedName.contains(sFolded))
        fByFoldedName.insert(sFolded, iDefine);
    if (sName.isEmpty())
        return;
    const int iLength = int(sName.size());
    int iNode = 0;
    int iPos = 0;
    while (iPos < iLength) {
        const char16_t c = sName.at(iPos).unicode();
        const int iChild = ChildOf(iNode, c);
        if (iChild < 0) {
            // The rest of the name becomes one new edge.
            const int iLeaf = int(fNameTree.size());
            fNameTree.push_back({iDefine, iPos, iLength - iPos, {}, {}});
            SetChild(iNode, c, iLeaf);
            iNode = iLeaf;
            break;
        }
        const QStringView label = Label(iChild);
        const QStringView rest = QStringView(sName).mid(iPos);
        int iCommon = 0;
        while (iCommon < label.size() && iCommon < rest.size() && label[iCommon] == rest[iCommon])
            ++iCommon;
        if (iCommon < label.size()) {
            // The name leaves the edge in its middle: split the edge there.
            const int iMiddle = int(fNameTree.size());
            fNameTree.push_back({fNameTree[std::size_t(iChild)].iLabelDefine,
                                 fNameTree[std::size_t(iChild)].iLabelStart,
                                 iCommon,
                                 {},
                                 {}});
            fNameTree[std::size_t(iChild)].iLabelStart += iCommon;
            fNameTree[std::size_t(iChild)].iLabelLength -= iCommon;
            SetChild(iMiddle, label[iCommon].unicode(), iChild);
            SetChild(iNode, c, iMiddle);
            iNode = iMiddle;
        } else {
            iNode = iChild;
        }
        iPos += iCommon;
    }
    fNameTree[std::size_t(iNode)].aDefines.push_back(iDefine);
    fiMaxNameLength = std::max(fiMaxNameLength, iLength);
}

void TDefFilePreprocessor::Mark(int iDefine)
{
    unsigned& iFound = fFoundIn[std::size_t(iDefine)];
    if (iFound == fiGeneration)
        return;
    iFound = fiGeneration;
    fPending.push(iDefine);
}

void TDefFilePreprocessor::CollectNames(const QString& sText, int iFrom, int iTo)
{
    const QStringView text(sText);
    const int iSize = int(sText.size());
    for (int p = std::max(iFrom, 0); p < std::min(iTo, iSize); ++p) {
        int iNode = 0;
        for (int q = p; q < iSize;) {
            iNode = ChildOf(iNode, text[q].unicode());
            if (iNode < 0)
                break;
            const QStringView label = Label(iNode);
            if (text.mid(q).left(label.size()) != label)
                break;
            q += int(label.size());
            for (const int iDefine : fNameTree[std::size_t(iNode)].aDefines)
                Mark(iDefine);
        }
    }
}

QString TDefFilePreprocessor::SubstituteNames(QString sText)
{
    if (fDefines.empty())
        return sText;
    ++fiGeneration;
    fPending = {};
    CollectNames(sText, 0, int(sText.size()));
    int iCurrent = -1;
    while (!fPending.empty()) {
        const std::size_t i = std::size_t(fPending.top());
        fPending.pop();
        // A name found again after its turn, or before it in the list, is not looked at again.
        if (int(i) <= iCurrent)
            continue;
        iCurrent = int(i);
        const QString& sName = fDefines[i].sName;
        const QString& sValue = fDefines[i].sValue;
        if (sValue.isEmpty())
            continue;
        const int iPos = int(sText.indexOf(sName));
        if (iPos < 0)
            continue;
        // Its own name in a value would be inserted again and again without end.
        if (sValue.contains(sName))
            throw EError(Format(QStringLiteral("Define \"%s\" contains its own name in its value \"%s\": "
                                               "its substitution would never end"),
                                {sName, sValue}));
        // Usually a name occurs once: replaced in place. Later names may now occur in the
        // inserted value or across its edges.
        sText.replace(iPos, sName.size(), sValue);
        if (sText.size() > ciMaxLineLength)
            throw LineTooLong(sName);
        CollectNames(sText, iPos - fiMaxNameLength + 1, iPos + int(sValue.size()));
        // Text before the replaced occurrence held no occurrence; only the value and its
        // surroundings can form a new one.
        const int iNext = int(sText.indexOf(sName, std::max(0, int(iPos - sName.size() + 1))));
        if (iNext < 0)
            continue;
        ReplaceAll(sText, iNext, sName, sValue, fInserted);
        // Look at the names that start close enough before an inserted character to reach it.
        int iFrom = 0;
        int iTo = 0;
        for (int p = 0; p < int(fInserted.size()); ++p) {
            if (!fInserted[std::size_t(p)])
                continue;
            if (p - fiMaxNameLength + 1 > iTo) {
                CollectNames(sText, iFrom, iTo);
                iFrom = p - fiMaxNameLength + 1;
            }
            iTo = p + 1;
        }
        CollectNames(sText, iFrom, iTo);
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
    const int iDefine = FindDefine(sName);
    if (iDefine >= 0) {
        fReader.DefineList()[std::size_t(iDefine)].pObject->SetText(sValue);
        fDefines[std::size_t(iDefine)].sValue = sValue.trimmed();
        if (bFromDocument)
            fReader.AddLoadInfo(QString(),
                                Format(QStringLiteral("Doc define redefinition: %s = %s"), {sName, sValue}));
        else
            fReader.AddLoadInfo(QString(), Format(QStringLiteral("Redefinition of \"%s\""), {sName}));
        return;
    }
    auto value = std::make_unique<TData>();
    value->SetText(sValue);
    fReader.DefineList().push_back({sName, std::move(value)});
    fDefines.push_back({sName, sValue.trimmed()});
    IndexLastDefine();
}

bool TDefFilePreprocessor::IsDefined(const QString& sName) const
{
    return FindDefine(sName) >= 0;
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
            fReader.Msg().Debug(QStringLiteral("%s: Printer \"%s\" found"),
                                {fReader.CurrentLocation(), sPrinter});
        sWork.replace(iTerm, (iClose < 0 ? sWork.size() : iClose + 1) - iTerm,
                      bFound ? QStringLiteral("true") : QStringLiteral("false"));
    }
    return true;
}

void TDefFilePreprocessor::Trace(bool bResult, const QString& sRead, const QString& sWork) const
{
    const QString sResult = bResult ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (sWork != sRead)
        fReader.Msg().Trace(QStringLiteral("%s: Condition %s for: \u00AB%s\u00BB resolved \u00AB%s\u00BB"),
                            {fReader.CurrentLocation(), sResult, sRead, sWork});
    else
        fReader.Msg().Trace(QStringLiteral("%s: Condition %s for: \u00AB%s\u00BB"),
                            {fReader.CurrentLocation(), sResult, sRead});
}

bool TDefFilePreprocessor::ConditionDirective(const QString& sWork, const QString& sRead)
{
    const auto missingIf = [](const char* sDirective) {
        return EError(
            Format(QStringLiteral("\"%s\" without \"%s\" or \"%s\"!"),
                   {QString::fromLatin1(sDirective), QStringLiteral("#if"), QStringLiteral("#ifdef")}));
    };

    if (Begins(sWork, "#ifdef") || Begins(sWork, "#ifndef")) {
        const bool bNot = Begins(sWork, "#ifndef");
        const bool bTrue = IsDefined(sWork.mid(bNot ? 7 : 6).trimmed()) != bNot;
        Blank();
        Trace(bTrue, sRead, sWork);
        fCondition.Push(bTrue ? eclIf : eclElse);
        return !bTrue;
    }
    if (Begins(sWork, "#if")) {
        Blank();
        const bool bTrue = TLoadCondition::IsTermTrue(sWork.mid(3).trimmed());
        Trace(bTrue, sRead, sWork);
        fCondition.Push(bTrue ? eclIf : eclElse);
        return !bTrue;
    }
    if (Begins(sWork, "#elifdef") || Begins(sWork, "#elif")) {
        const bool bDef = Begins(sWork, "#elifdef");
        Blank();
        const TConditionLevelTypes eLevel = fCondition.Read(false);
        if (eLevel == eclNone)
            throw missingIf(bDef ? "#elifdef" : "#elif");
        if (eLevel == eclIf)
            return true;
        const bool bTrue =
            bDef ? IsDefined(sWork.mid(8).trimmed()) : TLoadCondition::IsTermTrue(sWork.mid(5).trimmed());
        Trace(bTrue, sRead, sWork);
        if (bTrue)
            fCondition.Write(eclIf);
        return !bTrue;
    }
    if (Begins(sWork, "#else")) {
        Blank();
        const TConditionLevelTypes eLevel = fCondition.Read(true);
        if (eLevel == eclNone)
            throw missingIf("#else");
        return eLevel == eclIf;
    }
    if (Begins(sWork, "#endif")) {
        Blank();
        fCondition.Pop();
    }
    return false;
}

void TDefFilePreprocessor::SkipToNextBranch()
{
    // One loop for the whole chain of branches: a directive that skips again (a false #elif, an
    // #else after a taken branch) continues it, so a long chain costs no stack.
    int iDepth = 0;
    while (!fReader.EndOfFile()) {
        const QString sRead = fReader.GetNextLine();
        if (sRead.isEmpty())
            continue;
        Blank();
        if (Begins(sRead, "#if")) {
            ++iDepth;
        } else if (iDepth == 0 && Begins(sRead, "#elifdef")) {
            if (!ConditionDirective(sRead, sRead))
                return;
        } else if (iDepth == 0 && Begins(sRead, "#elif")) {
            QString sWork = Substitute(sRead);
            if (!BuiltInTerms(sWork) || !ConditionDirective(sWork, sRead))
                return;
        } else if (Begins(sRead, "#else")) {
            if (iDepth == 0 && !ConditionDirective(sRead, sRead))
                return;
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

void PredefineSocket(TInterpreterBase& aReader, int iSocket)
{
    auto value = std::make_unique<TData>();
    value->SetText(QString::number(iSocket));
    aReader.DefineList().push_back({QLatin1String(csSocketDefine), std::move(value)});
}
