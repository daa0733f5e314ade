#pragma once

#include <QRect>
#include <QString>

#include <optional>

class QPrinter;
class QTextDocument;

enum TPrinterOrientation
{
    poPortrait,
    poLandscape
};

// "Portrait" or "Landscape" in any letter case; none for another word.
std::optional<TPrinterOrientation> PrinterOrientation(const QString& sWord);

// Prints RTF text on paper: the page orientation and margins, the choice of printer, and the
// document broken into as many pages as it needs. The pages are rendered as PDF and handed to
// the printing system as one job under the given title.
class TRichEditPaper
{
public:
    TRichEditPaper() = default;
    TRichEditPaper(const TRichEditPaper&) = delete;
    TRichEditPaper& operator=(const TRichEditPaper&) = delete;

    TPrinterOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TPrinterOrientation aOrientation) { FOrientation = aOrientation; }
    float MarginLeft() const { return FMarginLeft; }
    void SetMarginLeft(float f) { FMarginLeft = f; }
    float MarginTop() const { return FMarginTop; }
    void SetMarginTop(float f) { FMarginTop = f; }
    float MarginRight() const { return FMarginRight; }
    void SetMarginRight(float f) { FMarginRight = f; }
    float MarginBottom() const { return FMarginBottom; }
    void SetMarginBottom(float f) { FMarginBottom = f; }

    // Makes the installed printer of this name (any case) the current printer; false, and
    // nothing changed, when there is none.
    bool SelectPrinter(const QString& sName);
    // The current printer's name as the printing system spells it; empty for the default.
    const QString& PrinterName() const { return fsPrinterName; }

    // Prints the RTF text on the current printer under the job title sTitle. Raises EError when
    // the job cannot be rendered or the printing system does not take it.
    void Print(const QString& sTitle, const QString& sText);

    // Writes the pages into this PDF file instead of printing them (empty: print).
    void SetOutputFileName(const QString& sFileName) { fsOutputFileName = sFileName; }

    // The page rectangle in printer pixels, relative to the printable area, for margins in
    // millimetres: dpi, the printable area's offset from the paper's corner and its size.
    static QRect PageRect(float fLeft, float fTop, float fRight, float fBottom, int iDpiX, int iDpiY,
                          int iOffX, int iOffY, int iWidth, int iHeight);

private:
    void Render(QPrinter& aPrinter, QTextDocument& aDocument) const;

    TPrinterOrientation FOrientation = poPortrait;
    float FMarginLeft = 0.0f;
    float FMarginTop = 0.0f;
    float FMarginRight = 0.0f;
    float FMarginBottom = 0.0f;
    QString fsPrinterName;
    QString fsOutputFileName;
};
