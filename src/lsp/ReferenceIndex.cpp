#include "ReferenceIndex.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

bool IsFence(const QString& sLine)
{
    return sLine.trimmed().startsWith(QLatin1String("```"));
}

// The first prose paragraph from line i on, within the section: tables, lists of code and fences
// end the search.
QString ParagraphFrom(const QStringList& slLines, int i)
{
    QStringList slParagraph;
    for (; i < slLines.size(); ++i) {
        const QString sLine = slLines.at(i).trimmed();
        if (sLine.startsWith(QLatin1Char('#')) || IsFence(sLine))
            break;
        if (sLine.isEmpty()) {
            if (!slParagraph.isEmpty())
                break;
            continue;
        }
        if (sLine.startsWith(QLatin1Char('|'))) {
            if (!slParagraph.isEmpty())
                break;
            continue;
        }
        slParagraph.append(sLine);
    }
    return slParagraph.join(QLatin1Char(' '));
}

// The first ```TZD block from line i on, before the next heading.
QString ExampleFrom(const QStringList& slLines, int i)
{
    bool bInFence = false;
    for (; i < slLines.size(); ++i) {
        const QString sTrimmed = slLines.at(i).trimmed();
        if (!bInFence && sTrimmed.startsWith(QLatin1String("## ")))
            return QString();
        if (IsFence(sTrimmed)) {
            if (!bInFence && sTrimmed == QLatin1String("```TZD")) {
                QStringList slBlock;
                for (++i; i < slLines.size() && !IsFence(slLines.at(i)); ++i)
                    slBlock.append(slLines.at(i));
                return slBlock.join(QLatin1Char('\n'));
            }
            bInFence = !bInFence;
        }
    }
    return QString();
}

} // namespace

QString TReferenceEntry::Markdown() const
{
    QString s = QStringLiteral("```tzd\n") + sSyntax + QStringLiteral("\n```\n\n") + sDescription;
    if (!sExample.isEmpty())
        s += QStringLiteral("\n\nExample:\n\n```tzd\n") + sExample + QStringLiteral("\n```");
    return s;
}

QStringList TReferenceEntry::Parameters() const
{
    const qsizetype iOpen = sSyntax.indexOf(QLatin1Char('('));
    const qsizetype iClose = sSyntax.lastIndexOf(QLatin1Char(')'));
    if (iOpen < 0 || iClose <= iOpen)
        return QStringList();
    QStringList slParameters;
    for (const QString& sPart : sSyntax.mid(iOpen + 1, iClose - iOpen - 1).split(QLatin1Char(';')))
        slParameters.append(sPart.trimmed());
    // The label comes first in every function line; its shape is the same everywhere.
    if (!slParameters.isEmpty() && slParameters.first().contains(QLatin1String("label")))
        slParameters.removeFirst();
    return slParameters;
}

// The pages' resource lives in a static library: naming it keeps it linked in.
static void InitReferenceResource()
{
    Q_INIT_RESOURCE(reference);
}

const TReferenceIndex& TReferenceIndex::BuiltIn()
{
    static const TReferenceIndex index = [] {
        InitReferenceResource();
        TReferenceIndex built;
        built.LoadPages(QStringLiteral(":/reference"));
        return built;
    }();
    return index;
}

void TReferenceIndex::LoadPages(const QString& sRoot)
{
    QDirIterator pages(sRoot, {QStringLiteral("*.md")}, QDir::Files, QDirIterator::Subdirectories);
    while (pages.hasNext()) {
        const QString sPath = pages.next();
        QFile page(sPath);
        if (!page.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        AddPage(sPath.mid(sRoot.size() + 1), QString::fromUtf8(page.readAll()));
    }
    ResolveInherited();
}

void TReferenceIndex::AddPage(const QString& sPage, const QString& sText)
{
    static const QRegularExpression backticked(QStringLiteral("`([^`]+)`"));
    static const QRegularExpression function(QStringLiteral("^<[^>]+>\\.([A-Za-z_][\\w.]*)\\("));
    static const QRegularExpression statement(
        QStringLiteral("^(Test\\.Case|Test\\.Final|Device\\.Create|Set)\\("));
    static const QRegularExpression settingRow(QStringLiteral("^\\|\\s*`([A-Za-z]+)`"));
    const QStringList slLines = sText.split(QLatin1Char('\n'));
    const QString sFileName = QFileInfo(sPage).fileName();

    QStringList slTypes;
    if (!slLines.isEmpty() && slLines.first().startsWith(QLatin1String("# "))) {
        auto it = backticked.globalMatch(slLines.first());
        while (it.hasNext())
            slTypes.append(it.next().captured(1));
    }
    fPageTypes[sFileName] = slTypes;
    static const QRegularExpression pageLink(QStringLiteral("\\]\\(([A-Za-z][\\w.]*\\.md)[#)]"));
    if (!slTypes.isEmpty()) {
        QStringList slLinked;
        auto links = pageLink.globalMatch(sText);
        while (links.hasNext()) {
            const QString sLinked = links.next().captured(1);
            if (sLinked != sFileName && !slLinked.contains(sLinked))
                slLinked.append(sLinked);
        }
        for (const QString& sType : slTypes)
            fInherits[sType] = slLinked;
    }

    QString sSection;
    for (int i = 0; i < slLines.size(); ++i) {
        const QString sLine = slLines.at(i).trimmed();
        if (sLine.startsWith(QLatin1String("## ")) || sLine.startsWith(QLatin1String("### "))) {
            sSection = sLine;
            continue;
        }
        if (sSection.contains(QLatin1String("Settings"))) {
            const QRegularExpressionMatch row = settingRow.match(sLine);
            if (row.hasMatch() && !fSettings.contains(row.captured(1))) {
                const QStringList slCells = sLine.split(QLatin1Char('|'));
                TReferenceEntry entry;
                entry.sSyntax =
                    QStringLiteral("Set(%1; %2)").arg(row.captured(1), slCells.value(2).trimmed());
                entry.sDescription = slCells.value(3).trimmed();
                entry.sPage = sPage;
                fSettings.insert(row.captured(1), entry);
            }
        }
        if (sLine != QLatin1String("```text"))
            continue;
        int iEnd = i + 1;
        while (iEnd < slLines.size() && !IsFence(slLines.at(iEnd)))
            ++iEnd;
        TReferenceEntry entry;
        entry.sDescription = ParagraphFrom(slLines, iEnd + 1);
        entry.sExample = ExampleFrom(slLines, iEnd + 1);
        entry.sPage = sPage;
        for (int j = i + 1; j < iEnd; ++j) {
            const QString sSyntax = slLines.at(j).trimmed();
            entry.sSyntax = sSyntax;
            const QRegularExpressionMatch f = function.match(sSyntax);
            if (f.hasMatch()) {
                for (const QString& sType : slTypes) {
                    if (!fFunctions[sType].contains(f.captured(1)))
                        fFunctions[sType].insert(f.captured(1), entry);
                }
                continue;
            }
            static const QRegularExpression declaration(
                QStringLiteral("^Device\\.Create\\(([A-Za-z][\\w.]*)\\s*;"));
            const QRegularExpressionMatch d = declaration.match(sSyntax);
            // The declaration's template (with "<name>") rather than an example's.
            if (d.hasMatch() && (!fDeviceTypes.contains(d.captured(1)) ||
                                 (!fDeviceTypes.value(d.captured(1)).sSyntax.contains(QLatin1Char('<')) &&
                                  sSyntax.contains(QLatin1Char('<'))))) {
                TReferenceEntry type = entry;
                type.sDescription = ParagraphFrom(slLines, 1);
                type.sExample.clear();
                fDeviceTypes.insert(d.captured(1), type);
            }
            if (!slTypes.isEmpty())
                continue;
            const QRegularExpressionMatch s = statement.match(sSyntax);
            if (s.hasMatch()) {
                // The statement's template (with "<label>") rather than a worked example's line,
                // whichever page comes first.
                const auto known = fKeywords.constFind(s.captured(1));
                if (known == fKeywords.constEnd() ||
                    (!known->sSyntax.contains(QLatin1Char('<')) && sSyntax.contains(QLatin1Char('<'))))
                    fKeywords.insert(s.captured(1), entry);
                continue;
            }
            // Directive lines, several to a line in the preprocessor's overview.
            for (const QString& sWord : sSyntax.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (sWord.size() > 1 && sWord.startsWith(QLatin1Char('#')) && sWord.at(1).isLetter() &&
                    !fKeywords.contains(sWord)) {
                    TReferenceEntry directive = entry;
                    directive.sSyntax =
                        sSyntax.startsWith(sWord) && !sSyntax.contains(QLatin1String("  ")) ? sSyntax : sWord;
                    fKeywords.insert(sWord, directive);
                }
            }
        }
        i = iEnd;
    }
}

void TReferenceIndex::ResolveInherited()
{
    for (const auto& inherit : fInherits) {
        for (const QString& sPage : inherit.second) {
            const auto page = fPageTypes.find(sPage);
            if (page == fPageTypes.end() || page->second.isEmpty())
                continue;
            const auto shared = fFunctions.find(page->second.first());
            if (shared == fFunctions.end())
                continue;
            QHash<QString, TReferenceEntry>& own = fFunctions[inherit.first];
            for (auto it = shared->second.cbegin(); it != shared->second.cend(); ++it) {
                if (!own.contains(it.key()))
                    own.insert(it.key(), it.value());
            }
        }
    }
}

const TReferenceEntry* TReferenceIndex::Function(const QString& sType, const QString& sFunction) const
{
    const auto type = fFunctions.find(sType);
    if (type == fFunctions.end())
        return nullptr;
    const auto it = type->second.constFind(sFunction);
    return it == type->second.constEnd() ? nullptr : &it.value();
}

const TReferenceEntry* TReferenceIndex::Keyword(const QString& sKeyword) const
{
    const auto it = fKeywords.constFind(sKeyword);
    return it == fKeywords.constEnd() ? nullptr : &it.value();
}

const TReferenceEntry* TReferenceIndex::DeviceType(const QString& sType) const
{
    const auto it = fDeviceTypes.constFind(sType);
    return it == fDeviceTypes.constEnd() ? nullptr : &it.value();
}

const TReferenceEntry* TReferenceIndex::Setting(const QString& sName) const
{
    const auto it = fSettings.constFind(sName);
    return it == fSettings.constEnd() ? nullptr : &it.value();
}
