#include "DocumentIndex.h"

#include "language/DefFileInterpreterBase.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The parameter text of a statement: inside the first "(" and the last ")".
QString Parameters(const QString& sCode)
{
    const qsizetype iOpen = sCode.indexOf(QLatin1Char('('));
    if (iOpen < 0)
        return QString();
    const qsizetype iClose = sCode.lastIndexOf(QLatin1Char(')'));
    return iClose > iOpen ? sCode.mid(iOpen + 1, iClose - iOpen - 1) : sCode.mid(iOpen + 1);
}

// A test case's name: between the first two double quotes, else the first field trimmed.
QString Label(const QString& sParameters)
{
    const qsizetype iQuote = sParameters.indexOf(QLatin1Char('"'));
    if (iQuote >= 0) {
        const qsizetype iEnd = sParameters.indexOf(QLatin1Char('"'), iQuote + 1);
        if (iEnd > iQuote)
            return sParameters.mid(iQuote + 1, iEnd - iQuote - 1);
    }
    return sParameters.section(QLatin1Char(';'), 0, 0).trimmed();
}

bool IsNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// sName's column in sLine at or after iFrom as a whole word; -1 when it is not there.
int WordColumn(const QString& sLine, const QString& sName, int iFrom = 0,
               Qt::CaseSensitivity eCase = Qt::CaseSensitive)
{
    if (sName.isEmpty())
        return -1;
    for (qsizetype i = sLine.indexOf(sName, iFrom, eCase); i >= 0; i = sLine.indexOf(sName, i + 1, eCase)) {
        const bool bStart = i == 0 || !IsNameChar(sLine.at(i - 1));
        const qsizetype iEnd = i + sName.size();
        const bool bEnd = iEnd >= sLine.size() || !IsNameChar(sLine.at(iEnd));
        if (bStart && bEnd)
            return int(i);
    }
    return -1;
}

} // namespace

QString TDocumentIndex::IncludePath(const QString& sCodeLine, const QString& sMainDirectory)
{
    if (!sCodeLine.startsWith(QLatin1String("#include "), Qt::CaseInsensitive))
        return QString();
    const qsizetype iQuote = sCodeLine.indexOf(QLatin1Char('"'));
    const qsizetype iEnd = iQuote < 0 ? -1 : sCodeLine.indexOf(QLatin1Char('"'), iQuote + 1);
    if (iEnd < 0)
        return QString();
    QString sName = sCodeLine.mid(iQuote + 1, iEnd - iQuote - 1);
    sName.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (sName.isEmpty())
        return QString();
    if (QDir::isRelativePath(sName))
        sName = QDir(sMainDirectory).filePath(sName);
    return QDir::cleanPath(sName);
}

TDocumentIndex TDocumentIndex::Scan(const QString& sFile, const QString& sText, const QString& sMainDirectory)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    TDocumentIndex index;
    index.fsFile = sFile;
    index.fslLines = sText.split(lineBreak);
    index.fslCode = TInterpreterBase::RemoveComments(index.fslLines);
    std::vector<int> openCases;
    for (int i = 0; i < index.fslCode.size(); ++i) {
        const QString& sCode = index.fslCode.at(i);
        const QString& sLine = index.fslLines.value(i);
        if (sCode.isEmpty())
            continue;
        TDefSymbol symbol;
        symbol.sFile = sFile;
        symbol.iLine = i;
        symbol.iLastLine = i;
        symbol.iParent = openCases.empty() ? -1 : openCases.back();
        const auto Place = [&](const QString& sName, int iFrom) {
            symbol.sName = sName;
            const int iColumn = int(sLine.indexOf(sName, iFrom));
            symbol.iStart = iColumn < 0 ? 0 : iColumn;
            symbol.iEnd = iColumn < 0 ? int(sLine.size()) : iColumn + int(sName.size());
        };
        if (sCode.startsWith(QLatin1Char('}'))) {
            if (!openCases.empty()) {
                index.fSymbols[std::size_t(openCases.back())].iLastLine = i;
                openCases.pop_back();
            }
        } else if (sCode.startsWith(QLatin1String("Test.Case(")) ||
                   sCode.startsWith(QLatin1String("Test.Final("))) {
            symbol.eKind = sCode.startsWith(QLatin1String("Test.Case(")) ? TDefSymbol::skTestCase
                                                                         : TDefSymbol::skFinalCase;
            Place(Label(Parameters(sCode)), int(sLine.indexOf(QLatin1Char('('))));
            openCases.push_back(int(index.fSymbols.size()));
            index.fSymbols.push_back(symbol);
        } else if (sCode.startsWith(QLatin1String("Device.Create(")) ||
                   sCode.startsWith(QLatin1String("Device.Shared("))) {
            const QStringList slFields = Parameters(sCode).split(QLatin1Char(';'));
            if (slFields.size() < 2)
                continue;
            symbol.eKind = TDefSymbol::skDevice;
            symbol.sDetail = slFields.at(0).trimmed();
            Place(slFields.at(1).trimmed(), int(sLine.indexOf(QLatin1Char(';'))));
            index.fSymbols.push_back(symbol);
        } else if (sCode.startsWith(QLatin1String("Set("))) {
            const QStringList slFields = Parameters(sCode).split(QLatin1Char(';'));
            const QString sType = slFields.at(0).trimmed().toLower();
            if (slFields.size() < 2 || (sType != QLatin1String("integer") &&
                                        sType != QLatin1String("float") && sType != QLatin1String("string")))
                continue;
            symbol.eKind = TDefSymbol::skVariable;
            symbol.sDetail = slFields.at(0).trimmed();
            Place(slFields.at(1).trimmed(), int(sLine.indexOf(QLatin1Char(';'))));
            index.fSymbols.push_back(symbol);
        } else if (sCode.startsWith(QLatin1String("#define "), Qt::CaseInsensitive)) {
            const QString sRest = sCode.mid(8).trimmed();
            const QString sName = sRest.section(QRegularExpression(QStringLiteral("\\s")), 0, 0);
            if (sName.isEmpty())
                continue;
            symbol.eKind = TDefSymbol::skDefine;
            symbol.sDetail = sRest.mid(sName.size()).trimmed();
            Place(sName, int(sLine.indexOf(QLatin1String("define"), 0, Qt::CaseInsensitive)) + 6);
            index.fSymbols.push_back(symbol);
        } else if (sCode.startsWith(QLatin1String("#include "), Qt::CaseInsensitive)) {
            const QString sPath = IncludePath(sCode, sMainDirectory);
            if (sPath.isEmpty())
                continue;
            symbol.eKind = TDefSymbol::skInclude;
            symbol.sDetail = sPath;
            const qsizetype iQuote = sLine.indexOf(QLatin1Char('"'));
            Place(sCode.section(QLatin1Char('"'), 1, 1), int(iQuote < 0 ? 0 : iQuote));
            index.fSymbols.push_back(symbol);
        }
    }
    return index;
}

std::vector<TDefLocation> TDocumentIndex::Uses(TDefSymbol::EKind eKind, const QString& sName) const
{
    std::vector<TDefLocation> uses;
    const auto Add = [&](int iLine, int iColumn, int iLength) {
        uses.push_back({fsFile, iLine, iColumn, iColumn + iLength});
    };
    for (const TDefSymbol& symbol : fSymbols) {
        const bool bSameKind = symbol.eKind == eKind ||
                               (eKind == TDefSymbol::skTestCase && symbol.eKind == TDefSymbol::skFinalCase);
        const Qt::CaseSensitivity eCase =
            eKind == TDefSymbol::skTestCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
        if (bSameKind && symbol.sName.compare(sName, eCase) == 0)
            Add(symbol.iLine, symbol.iStart, symbol.iEnd - symbol.iStart);
    }
    for (int i = 0; i < fslCode.size(); ++i) {
        const QString& sCode = fslCode.at(i);
        const QString& sLine = fslLines.value(i);
        if (sCode.isEmpty())
            continue;
        switch (eKind) {
        case TDefSymbol::skDevice:
            if (sCode.startsWith(sName + QLatin1Char('.'))) {
                const int iColumn = int(sLine.indexOf(sName));
                Add(i, iColumn, int(sName.size()));
            }
            break;
        case TDefSymbol::skTestCase:
        case TDefSymbol::skFinalCase:
            if (sCode.contains(QLatin1String(".Goto(")) ||
                sCode.contains(QLatin1String(".SetTestCaseStatus("))) {
                const QString sTarget = Label(Parameters(sCode).section(QLatin1Char(';'), 1));
                if (sTarget.compare(sName, Qt::CaseInsensitive) == 0) {
                    const int iColumn = int(sLine.indexOf(sTarget, sLine.indexOf(QLatin1Char(';'))));
                    if (iColumn >= 0)
                        Add(i, iColumn, int(sTarget.size()));
                }
            }
            break;
        case TDefSymbol::skVariable:
            for (int iColumn = int(sLine.indexOf(QLatin1Char('%'))); iColumn >= 0;
                 iColumn = int(sLine.indexOf(QLatin1Char('%'), iColumn + 1))) {
                if (WordColumn(sLine, sName, iColumn + 1) == iColumn + 1)
                    Add(i, iColumn, int(sName.size()) + 1);
            }
            break;
        case TDefSymbol::skDefine:
            if (!sCode.startsWith(QLatin1String("#define "), Qt::CaseInsensitive)) {
                for (int iColumn = WordColumn(sLine, sName); iColumn >= 0;
                     iColumn = WordColumn(sLine, sName, iColumn + 1))
                    Add(i, iColumn, int(sName.size()));
            }
            break;
        case TDefSymbol::skInclude:
            break;
        }
    }
    return uses;
}
