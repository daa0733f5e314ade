#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

// The seven segments of a cell as bits: a (top), b (upper right), c (lower right), d (bottom),
// e (lower left), f (upper left), g (middle).
enum ELCD99Segment : std::uint8_t
{
    sgA = 0x01,
    sgB = 0x02,
    sgC = 0x04,
    sgD = 0x08,
    sgE = 0x10,
    sgF = 0x20,
    sgG = 0x40
};

// What one digit cell shows.
struct TLCD99Cell
{
    QChar cChar = QLatin1Char(' '); // a blank cell lights nothing
    std::uint8_t bySegments = 0;
    bool bColon = false;
    bool bPoint = false; // the decimal point at the cell's left edge, between it and the cell before

    bool operator==(const TLCD99Cell& a) const
    {
        return cChar == a.cChar && bySegments == a.bySegments && bColon == a.bColon && bPoint == a.bPoint;
    }
};

// The lit segments of a character the read-out can show (0-9, "-", A-Z); 0 for the others.
std::uint8_t LCD99Segments(QChar c);

// The value the read-out keeps for sValue: letters a-z in upper case, empty (blank) when a
// character is not one of 0-9, "-", blank, ".", A-Z or ":", and without one "." at the very end.
QString LCD99Value(const QString& sValue);

// The cells of a stored value, right-aligned in iDigitNum cells: every character other than "."
// takes a cell, a "." lights the point before the next cell (a second "." in a row, or one at the
// end, takes a blank cell of its own); a value with more cells shows its first iDigitNum.
std::vector<TLCD99Cell> LCD99Cells(const QString& sValue, int iDigitNum);

// Where the parts of the read-out lie in a control of the given size, in pixels.
class TLCD99Geometry
{
public:
    TLCD99Geometry(int iWidth, int iHeight, int iDigitNum, int iDigitSpacing, int iSegmentSize, int iGapX,
                   int iGapY);

    int Spacing() const { return fiSpacing; }
    int CellWidth() const { return fiCellWidth; }
    int CellLeft(int iCell) const { return fiSpacing + iCell * (fiSpacing + fiCellWidth); }
    // One segment (a single ELCD99Segment bit) of a cell.
    QRect Segment(int iCell, ELCD99Segment eSegment) const;
    // The two dots of the colon, upper and lower.
    QRect ColonDot(int iCell, bool bLower) const;
    // The decimal point in the gap before the cell, at the bottom.
    QRect Point(int iCell) const;

private:
    int fiHeight;
    int fiSpacing;
    int fiCellWidth;
    int fiSegmentSize;
    int fiGapX;
    int fiGapY;
};

// A seven-segment read-out: lit elements in OnColor, the others in OffColor, on the control's
// background colour.
class TLCD99 : public QWidget
{
    Q_OBJECT

public:
    explicit TLCD99(QWidget* aParent = nullptr);

    const QString& Value() const { return fsValue; }
    // Stores LCD99Value(sValue) and repaints, unless sValue equals the value shown.
    void SetValue(const QString& sValue);
    int DigitNum() const { return fiDigitNum; }
    void SetDigitNum(int iDigitNum);
    QColor OnColor() const { return fOnColor; }
    void SetOnColor(const QColor& aColor);
    QColor OffColor() const { return fOffColor; }
    void SetOffColor(const QColor& aColor);
    int DigitSpacing() const { return fiDigitSpacing; }
    void SetDigitSpacing(int iSpacing);
    int SegmentSize() const { return fiSegmentSize; }
    void SetSegmentSize(int iSize);
    void SetGap(int iGapX, int iGapY);

    std::vector<TLCD99Cell> Cells() const { return LCD99Cells(fsValue, fiDigitNum); }
    TLCD99Geometry Geometry() const;

Q_SIGNALS:
    void ValueChanged(const QString& sValue);

protected:
    void paintEvent(QPaintEvent* aEvent) override;

private:
    QString fsValue;
    int fiDigitNum = 4;
    QColor fOnColor = QColor(0x00, 0xFF, 0x00);
    QColor fOffColor = QColor(0x00, 0x00, 0x00);
    int fiDigitSpacing = 5;
    int fiSegmentSize = 2;
    int fiGapX = 2;
    int fiGapY = 2;
};
