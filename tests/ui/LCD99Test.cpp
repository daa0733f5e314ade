#include "ui/LCD99.h"
#include "ui/formDMM.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// One cell as text: "." for a lit point before it, then the character (blank for none).
QString CellsText(const std::vector<TLCD99Cell>& cells)
{
    QStringList parts;
    for (const TLCD99Cell& cell : cells)
        parts.append((cell.bPoint ? QStringLiteral(".") : QString()) + cell.cChar);
    return parts.join(QLatin1Char('|'));
}

TEST(LCD99Test, StoredValueUpperCaseBlankedOrWithoutItsLastPoint)
{
    const std::pair<const char*, const char*> cases[] = {
        {"abc", "ABC"},       {"12+3", ""},       {"7.", "7"},    {"7..", "7."}, {".5", ".5"},
        {"1E-006", "1E-006"}, {"12:30", "12:30"}, {" 1 ", " 1 "}, {"", ""},      {"1,5", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LCD99Value(QLatin1String(c.first)), QLatin1String(c.second)) << c.first;
    // Letters beyond a-z are no letters of the read-out.
    EXPECT_EQ(LCD99Value(QStringLiteral("\u00e4")), QString());
}

TEST(LCD99Test, CellsAreRightAlignedWithPointsBetweenThem)
{
    struct TCase
    {
        const char* sValue; // as stored
        int iDigits;
        const char* sCells;
    };
    const TCase cases[] = {
        {"1234.5", 5, "1|2|3|4|.5"}, {"1E-006", 5, "1|E|-|0|0"}, // the first five of six
        {"ABC", 5, " | |A|B|C"},     {"", 4, " | | | "},         {".5", 3, " | |.5"},
        {"1..5", 4, " |1|. |.5"}, // the second point takes a blank cell of its own
        {"7.", 3, " |7|. "},         {"1.2.3", 3, "1|.2|.3"},    {"12:30", 5, "1|2|:|3|0"},
        {"1234567", 5, "1|2|3|4|5"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CellsText(LCD99Cells(QLatin1String(c.sValue), c.iDigits)), QLatin1String(c.sCells))
            << c.sValue;

    const std::vector<TLCD99Cell> colon = LCD99Cells(QStringLiteral(":"), 1);
    EXPECT_TRUE(colon[0].bColon);
    EXPECT_EQ(colon[0].bySegments, 0);
}

TEST(LCD99Test, SegmentsOfCharacters)
{
    const std::pair<char, std::uint8_t> cases[] = {
        {'0', sgA | sgB | sgC | sgD | sgE | sgF},
        {'1', sgB | sgC},
        {'7', sgA | sgB | sgC},
        {'8', sgA | sgB | sgC | sgD | sgE | sgF | sgG},
        {'-', sgG},
        {'E', sgA | sgD | sgE | sgF | sgG},
        {'H', sgC | sgE | sgF | sgG},
        {'R', sgE | sgG},
        {'Z', sgA | sgB | sgD | sgE | sgG},
        {' ', 0},
        {':', 0},
        {'+', 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LCD99Segments(QLatin1Char(c.first)), c.second) << c.first;
}

TEST(LCD99Test, CellGeometry)
{
    // The read-out of a five-digit indicator: 120 x 30, digit spacing 5, segments 2 thick.
    const TLCD99Geometry g(120, 30, 5, 5, 2, 2, 2);
    EXPECT_EQ(g.Spacing(), 6);
    EXPECT_EQ(g.CellWidth(), (120 - 6 - 1 - 5 * 6) / 5);
    EXPECT_EQ(g.CellLeft(0), 6);
    EXPECT_EQ(g.CellLeft(4), 6 + 4 * 22);
    // The point of cell 1 is a 2 x 2 square centred on the gap before it, at the bottom.
    EXPECT_EQ(g.Point(1), QRect(24, 26, 2, 2));
    // Segments stay inside their cell, inset by the gaps.
    for (int i = 0; i < 5; ++i) {
        const QRect cell(g.CellLeft(i) + 2, 2, g.CellWidth() - 4, 26);
        for (const ELCD99Segment e : {sgA, sgB, sgC, sgD, sgE, sgF, sgG}) {
            EXPECT_TRUE(g.Segment(i, e).isValid()) << i << ' ' << int(e);
            EXPECT_TRUE(cell.contains(g.Segment(i, e))) << i << ' ' << int(e);
        }
        EXPECT_TRUE(cell.contains(g.ColonDot(i, false)) && cell.contains(g.ColonDot(i, true)));
    }
    EXPECT_EQ(g.Segment(0, sgA).top(), 2);
    EXPECT_EQ(g.Segment(0, sgD).bottom(), 27);
}

TEST(LCD99Test, SetValueChangesOnlyForANewValue)
{
    TLCD99 lcd;
    QSignalSpy changed(&lcd, &TLCD99::ValueChanged);
    lcd.SetValue(QStringLiteral("abc"));
    EXPECT_EQ(lcd.Value(), QStringLiteral("ABC"));
    lcd.SetValue(QStringLiteral("ABC"));
    EXPECT_EQ(changed.count(), 1);
    lcd.SetValue(QStringLiteral("12+3"));
    EXPECT_EQ(lcd.Value(), QString());
    EXPECT_EQ(changed.count(), 2);
}

TEST(LCD99Test, ReadOutWindowSizeFollowsTheDigits)
{
    TfrmDMM dmm;
    EXPECT_EQ(dmm.size(), QSize(145, 56));
    dmm.SetDigits(5);
    EXPECT_EQ(dmm.LCD991->size(), QSize(120, 30));
    EXPECT_EQ(dmm.width(), 124);
    EXPECT_EQ(dmm.Value(), QStringLiteral("-----"));
    dmm.SetText(QStringLiteral("Supply"));
    dmm.SetValueColor(QColor(0, 0, 255));
    EXPECT_EQ(dmm.Text(), QStringLiteral("Supply"));
    EXPECT_EQ(dmm.ValueColor(), QColor(0, 0, 255));
}

// The painted read-out against a picture checked by eye; a few pixels may differ where the
// platform smooths edges.
TEST(LCD99Test, PaintedReadOutMatchesTheGoldenPicture)
{
    TLCD99 lcd;
    QPalette palette = lcd.palette();
    palette.setColor(QPalette::Window, Qt::black);
    lcd.setPalette(palette);
    lcd.SetDigitNum(5);
    lcd.resize(120, 30);
    lcd.SetValue(QStringLiteral("-1.2:e"));
    QImage actual(lcd.size(), QImage::Format_RGB32);
    lcd.render(&actual);

    const QString sGolden = QStringLiteral(QT_TESTCASE_SOURCEDIR "/golden/lcd99.png");
    const QImage golden = QImage(sGolden).convertToFormat(QImage::Format_RGB32);
    const QString sActual =
        QDir(QStringLiteral(QT_TESTCASE_BUILDDIR)).filePath(QStringLiteral("lcd99.actual.png"));
    ASSERT_EQ(golden.size(), actual.size())
        << "the picture is in " << sActual.toStdString() << (actual.save(sActual) ? "" : " (not saved)");
    int iDiffering = 0;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb a = actual.pixel(x, y);
            const QRgb b = golden.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 64 || std::abs(qGreen(a) - qGreen(b)) > 64 ||
                std::abs(qBlue(a) - qBlue(b)) > 64)
                ++iDiffering;
        }
    }
    EXPECT_LE(iDiffering, actual.width() * actual.height() / 100)
        << "the picture is in " << sActual.toStdString() << (actual.save(sActual) ? "" : " (not saved)");
}

} // namespace
