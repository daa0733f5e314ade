#include "reporting/RtfReader.h"

#include "TestEnvironment.h"

#include <QTextDocument>
#include <QTextTable>

#include <gtest/gtest.h>

namespace {

QByteArray Template(const char* sName)
{
    return ReadFileBytes(QStringLiteral(TZK_TEMPLATES_DIR "/") + QString::fromLatin1(sName));
}

QString PlainText(const QByteArray& aRtf, QStringList* pWarnings = nullptr)
{
    TRtfReader reader;
    QTextDocument document;
    reader.Read(aRtf, document);
    if (pWarnings)
        *pWarnings = reader.Warnings();
    return document.toPlainText();
}

TEST(RtfReader, ReadsAWordProcessorReport)
{
    const QByteArray aRtf = Template("report.rtf");
    ASSERT_FALSE(aRtf.isEmpty());
    QStringList warnings;
    const QString sText = PlainText(aRtf, &warnings);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    const QStringList lines = sText.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 9) << sText.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Error Report"));
    EXPECT_EQ(lines[1], QStringLiteral("Test file: %FILEINFO (%FILEVERSION)"));
    EXPECT_EQ(lines[3], QStringLiteral("Operator:\t%OPERATOR"));
    EXPECT_EQ(lines[6], QStringLiteral("Remark:")) << "a line break inside the paragraph";
    EXPECT_EQ(lines[7], QStringLiteral("%REMARK"));
    EXPECT_EQ(lines[8], QStringLiteral("Date: %DATE %TIME, Gr\u00F6\u00DFe: \u20AC 5"));
    EXPECT_FALSE(sText.contains(QStringLiteral("0100090000"))) << "pictures are skipped";
    EXPECT_FALSE(sText.contains(QStringLiteral("Writer"))) << "ignorable destinations are skipped";

    const QString sHtml = TRtfReader().ToHtml(aRtf);
    EXPECT_TRUE(sHtml.contains(QStringLiteral("text-align:center")));
    EXPECT_TRUE(sHtml.contains(QStringLiteral("font-weight:bold;color:#ff0000;\">%FUNCTION")))
        << sHtml.toStdString();
    EXPECT_TRUE(sHtml.contains(QStringLiteral("font-family:'Arial'")));
    EXPECT_TRUE(sHtml.contains(QStringLiteral("font-size:16pt")));
}

TEST(RtfReader, ReadsTablesAlignmentAndColours)
{
    const QByteArray aRtf = Template("label.rtf");
    TRtfReader reader;
    QTextDocument document;
    ASSERT_TRUE(reader.Read(aRtf, document));
    EXPECT_TRUE(reader.Warnings().isEmpty());
    QTextTable* pTable = nullptr;
    for (QTextFrame* pFrame : document.rootFrame()->childFrames()) {
        if (auto* p = qobject_cast<QTextTable*>(pFrame))
            pTable = p;
    }
    ASSERT_NE(pTable, nullptr);
    EXPECT_EQ(pTable->rows(), 2);
    EXPECT_EQ(pTable->columns(), 2);
    const auto cellText = [&](int r, int c) {
        const QTextTableCell cell = pTable->cellAt(r, c);
        QTextCursor cursor = cell.firstCursorPosition();
        cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
        return cursor.selectedText();
    };
    EXPECT_EQ(cellText(0, 0), QStringLiteral("Variant"));
    EXPECT_EQ(cellText(1, 1), QStringLiteral("%WW/%YY"));
    const QString sText = document.toPlainText();
    EXPECT_TRUE(sText.startsWith(QStringLiteral("Serial: %SN"))) << sText.toStdString();
    EXPECT_TRUE(sText.endsWith(QStringLiteral("Made with care"))) << sText.toStdString();
    const QString sHtml = reader.ToHtml(aRtf);
    EXPECT_TRUE(sHtml.contains(QStringLiteral("text-align:right;margin-left:28.35pt")));
    EXPECT_TRUE(sHtml.contains(QStringLiteral("color:#808080;\">Made with care")));
}

TEST(RtfReader, EscapesAndCharacters)
{
    struct
    {
        const char* sRtf;
        const char* sText;
    } const cases[] = {
        {"{\\rtf1 \\{a\\}\\\\b}", "{a}\\b"},
        {"{\\rtf1 x\\foo123 y\\bar z}", "xyz"},
        {"{\\rtf1 \\'80 \\'e4\\'20}", "\u20AC \u00E4 "},
        {"{\\rtf1\\uc0 \\u228\\u8364 }", "\u00E4\u20AC"},
        {"{\\rtf1\\uc1 \\u-3913?x}", "\uF0B7x"},
        {"{\\rtf1 a\\tab b\\line c}", "a\tb\nc"},
        {"{\\rtf1 one\\par two\\par}", "one\ntwo"},
        {"{\\rtf1 {\\*\\unknowndest hidden} shown}", " shown"},
        {"{\\rtf1 a\\~b}", "a b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlainText(QByteArray(c.sRtf)).toStdString(), c.sText) << c.sRtf;
}

TEST(RtfReader, MalformedTextGivesWhatCanBeReadAndAWarning)
{
    QStringList warnings;
    EXPECT_EQ(PlainText("{\\rtf1 abc {\\b def", &warnings), QStringLiteral("abc def"));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("open group")));
    EXPECT_EQ(PlainText("{\\rtf1 abc}} more", &warnings), QStringLiteral("abc more"));
    EXPECT_FALSE(warnings.isEmpty());
    EXPECT_EQ(PlainText("plain text, no RTF", &warnings), QStringLiteral("plain text, no RTF"));
    EXPECT_FALSE(warnings.isEmpty());
    EXPECT_EQ(PlainText("{\\rtf1 \\'zz\\", &warnings), QString()) << "a broken escape at the end is dropped";
}

// The rows of the document's tables, each row as its cells' text joined by "|", tables apart by "--".
QStringList TableRows(const QTextDocument& document)
{
    QStringList rows;
    for (QTextFrame* pFrame : document.rootFrame()->childFrames()) {
        auto* pTable = qobject_cast<QTextTable*>(pFrame);
        if (!pTable)
            continue;
        if (!rows.isEmpty())
            rows << QStringLiteral("--");
        for (int r = 0; r < pTable->rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < pTable->columns(); ++c) {
                const QTextTableCell cell = pTable->cellAt(r, c);
                QTextCursor cursor = cell.firstCursorPosition();
                cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                cells << cursor.selectedText();
            }
            rows << cells.join(QLatin1Char('|'));
        }
    }
    return rows;
}

// The non-empty paragraphs outside the tables, joined by "|".
QString BodyText(const QTextDocument& document)
{
    QStringList paragraphs;
    for (auto it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (!it.currentFrame() && !it.currentBlock().text().isEmpty())
            paragraphs << it.currentBlock().text();
    }
    return paragraphs.join(QLatin1Char('|'));
}

TEST(RtfReader, TableMarksInAnyOrderGiveTheirCellsAndText)
{
    struct
    {
        const char* sRtf;
        QStringList rows;
        const char* sText;
    } const cases[] = {
        // Rows without the in-table mark, as many generators write them.
        {"{\\rtf1\\trowd\\cellx3000\\cellx6000 Cell A\\cell Cell B\\cell\\row\\pard After\\par}",
         {QStringLiteral("Cell A|Cell B")},
         "After"},
        {"{\\rtf1\\trowd\\cellx3000\\cellx6000 Cell A\\cell Cell B\\cell\\row}",
         {QStringLiteral("Cell A|Cell B")},
         ""},
        {"{\\rtf1 a\\cell b\\par}", {QStringLiteral("a")}, "b"},
        {"{\\rtf1\\intbl a\\par\\pard b\\par}", {QStringLiteral("a")}, "b"},
        {"{\\rtf1{\\intbl a\\cell}b}", {QStringLiteral("a")}, "b"},
        // A paragraph inside a cell, a row mark without its cell mark, and a table that a later
        // paragraph closes before a second one starts.
        {"{\\rtf1\\intbl x\\par y\\cell z\\row\\pard mid\\par\\intbl q\\cell\\row}",
         {QStringLiteral("x\u2029y|z"), QStringLiteral("--"), QStringLiteral("q")},
         "mid"},
        // Marks with nothing to hold: no row and no crash.
        {"{\\rtf1\\row\\row\\pard\\par end}", {}, "end"},
    };
    for (const auto& c : cases) {
        TRtfReader reader;
        QTextDocument document;
        ASSERT_TRUE(reader.Read(QByteArray(c.sRtf), document));
        EXPECT_EQ(TableRows(document), c.rows) << c.sRtf;
        EXPECT_EQ(BodyText(document).toStdString(), c.sText) << c.sRtf;
        EXPECT_TRUE(reader.Warnings().isEmpty()) << c.sRtf;
    }
}

TEST(RtfReader, OutputGrowsWithTheInputOnly)
{
    // Every run of text repeats its font's name: a long name used by many runs.
    QByteArray aRtf = "{\\rtf1{\\fonttbl{\\f0 " + QByteArray(20000, 'N') + ";}}\\f0 ";
    for (int i = 0; i < 5000; ++i)
        aRtf += "\\b a\\b0 b";
    aRtf += "}";
    const QString sHtml = TRtfReader().ToHtml(aRtf);
    EXPECT_LT(sHtml.size(), 200 * aRtf.size());
    EXPECT_EQ(PlainText(aRtf).size(), 10000);
}

} // namespace
