#include "LCD99.h"

#include <QPainter>

#include <algorithm>

namespace {

// The lit segments per character, written as the segment letters.
struct TSegmentRow
{
    char cChar;
    const char* sSegments;
};

const TSegmentRow caSegmentTable[] = {
    {'0', "abcdef"}, {'1', "bc"},    {'2', "abdeg"},   {'3', "abcdg"},  {'4', "bcfg"},  {'5', "acdfg"},
    {'6', "acdefg"}, {'7', "abc"},   {'8', "abcdefg"}, {'9', "abcdfg"}, {'-', "g"},     {'A', "abcefg"},
    {'B', "cdefg"},  {'C', "adef"},  {'D', "bcdeg"},   {'E', "adefg"},  {'F', "aefg"},  {'G', "acdefg"},
    {'H', "cefg"},   {'I', "bc"},    {'J', "bcd"},     {'K', "bcefg"},  {'L', "def"},   {'M', "ceg"},
    {'N', "ceg"},    {'O', "cdeg"},  {'P', "abefg"},   {'Q', "abcfg"},  {'R', "eg"},    {'S', "acdfg"},
    {'T', "efg"},    {'U', "bcdef"}, {'V', "bcdef"},   {'W', "bcdef"},  {'X', "bcefg"}, {'Y', "bcfg"},
    {'Z', "abdeg"},
};

bool Showable(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || u == '-' || u == ' ' || u == '.' || u == ':';
}

TLCD99Cell CellOf(QChar c, bool bPoint)
{
    TLCD99Cell cell;
    cell.cChar = c;
    cell.bySegments = LCD99Segments(c);
    cell.bColon = c == QLatin1Char(':');
    cell.bPoint = bPoint;
    return cell;
}

} // namespace

std::uint8_t LCD99Segments(QChar c)
{
    for (const TSegmentRow& row : caSegmentTable) {
        if (c != QLatin1Char(row.cChar))
            continue;
        std::uint8_t bySegments = 0;
        for (const char* p = row.sSegments; *p; ++p)
            bySegments |= std::uint8_t(1u << (*p - 'a'));
        return bySegments;
    }
    return 0;
}

QString LCD99Value(const QString& sValue)
{
    QString s = sValue;
    for (QChar& c : s) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    if (!std::all_of(s.cbegin(), s.cend(), Showable))
        return QString();
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

std::vector<TLCD99Cell> LCD99Cells(const QString& sValue, int iDigitNum)
{
    std::vector<TLCD99Cell> cells;
    bool bPoint = false;
    for (const QChar c : sValue) {
        if (c != QLatin1Char('.')) {
            cells.push_back(CellOf(c, bPoint));
            bPoint = false;
        } else if (bPoint) {
            // Two points in a row: the first one gets a blank cell of its own.
            cells.push_back(CellOf(QLatin1Char(' '), true));
        } else {
            bPoint = true;
        }
    }
    if (bPoint)
        cells.push_back(CellOf(QLatin1Char(' '), true));

    const std::size_t iCells = std::size_t(std::max(iDigitNum, 0));
    if (cells.size() > iCells)
        cells.resize(iCells);
    cells.insert(cells.begin(), iCells - cells.size(), TLCD99Cell());
    return cells;
}

TLCD99Geometry::TLCD99Geometry(int iWidth, int iHeight, int iDigitNum, int iDigitSpacing, int iSegmentSize,
                               int iGapX, int iGapY)
    : fiHeight(iHeight), fiSpacing(iDigitSpacing + 1), fiSegmentSize(iSegmentSize), fiGapX(iGapX),
      fiGapY(iGapY)
{
    const int iCells = std::max(iDigitNum, 1);
    fiCellWidth = std::max((iWidth - fiSpacing - 1 - iCells * fiSpacing) / iCells, 0);
}

QRect TLCD99Geometry::Segment(int iCell, ELCD99Segment eSegment) const
{
    const int s = fiSegmentSize;
    const int iLeft = CellLeft(iCell) + fiGapX;
    const int iRight = CellLeft(iCell) + fiCellWidth - fiGapX; // exclusive
    const int iTop = fiGapY;
    const int iBottom = fiHeight - fiGapY; // exclusive
    const int iMiddle = (iTop + iBottom) / 2 - s / 2;
    // One pixel stays free where two segments meet, as on a real display.
    const int iLength = iRight - iLeft - 2 * s - 2;
    switch (eSegment) {
    case sgA:
        return QRect(iLeft + s + 1, iTop, iLength, s);
    case sgG:
        return QRect(iLeft + s + 1, iMiddle, iLength, s);
    case sgD:
        return QRect(iLeft + s + 1, iBottom - s, iLength, s);
    case sgF:
        return QRect(iLeft, iTop + s + 1, s, iMiddle - iTop - s - 2);
    case sgB:
        return QRect(iRight - s, iTop + s + 1, s, iMiddle - iTop - s - 2);
    case sgE:
        return QRect(iLeft, iMiddle + s + 1, s, iBottom - iMiddle - 2 * s - 2);
    case sgC:
        return QRect(iRight - s, iMiddle + s + 1, s, iBottom - iMiddle - 2 * s - 2);
    }
    return QRect();
}

QRect TLCD99Geometry::ColonDot(int iCell, bool bLower) const
{
    const int s = fiSegmentSize;
    const int iCentre = CellLeft(iCell) + fiCellWidth / 2;
    const int iTop = fiGapY;
    const int iBottom = fiHeight - fiGapY;
    const int iMiddle = (iTop + iBottom) / 2;
    const int iY = bLower ? (iMiddle + iBottom) / 2 : (iTop + iMiddle) / 2;
    return QRect(iCentre - s / 2, iY - s / 2, s, s);
}

QRect TLCD99Geometry::Point(int iCell) const
{
    const int iSide = std::max(std::min(fiSpacing - 2, fiSegmentSize), 0);
    const int iGapCentre = CellLeft(iCell) - fiSpacing / 2;
    return QRect(iGapCentre - iSide / 2, fiHeight - fiGapY - iSide, iSide, iSide);
}

TLCD99::TLCD99(QWidget* aParent) : QWidget(aParent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLCD99::SetValue(const QString& sValue)
{
    if (sValue == fsValue)
        return;
    fsValue = LCD99Value(sValue);
    Q_EMIT ValueChanged(fsValue);
    update();
}

void TLCD99::SetDigitNum(int iDigitNum)
{
    fiDigitNum = std::max(iDigitNum, 1);
    update();
}

void TLCD99::SetOnColor(const QColor& aColor)
{
    fOnColor = aColor;
    update();
}

void TLCD99::SetOffColor(const QColor& aColor)
{
    fOffColor = aColor;
    update();
}

void TLCD99::SetDigitSpacing(int iSpacing)
{
    fiDigitSpacing = std::max(iSpacing, 0);
    update();
}

void TLCD99::SetSegmentSize(int iSize)
{
    fiSegmentSize = std::max(iSize, 1);
    update();
}

void TLCD99::SetGap(int iGapX, int iGapY)
{
    fiGapX = std::max(iGapX, 0);
    fiGapY = std::max(iGapY, 0);
    update();
}

TLCD99Geometry TLCD99::Geometry() const
{
    return TLCD99Geometry(width(), height(), fiDigitNum, fiDigitSpacing, fiSegmentSize, fiGapX, fiGapY);
}

void TLCD99::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(backgroundRole()));
    const TLCD99Geometry geometry = Geometry();
    const std::vector<TLCD99Cell> cells = Cells();
    const auto draw = [&](const QRect& aRect, bool bLit) {
        if (aRect.isValid())
            painter.fillRect(aRect, bLit ? fOnColor : fOffColor);
    };
    for (int i = 0; i < int(cells.size()); ++i) {
        const TLCD99Cell& cell = cells[std::size_t(i)];
        for (const ELCD99Segment eSegment : {sgA, sgB, sgC, sgD, sgE, sgF, sgG})
            draw(geometry.Segment(i, eSegment), (cell.bySegments & eSegment) != 0);
        draw(geometry.ColonDot(i, false), cell.bColon);
        draw(geometry.ColonDot(i, true), cell.bColon);
        draw(geometry.Point(i), cell.bPoint);
    }
}
