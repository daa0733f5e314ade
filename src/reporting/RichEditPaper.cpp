#include "RichEditPaper.h"

#include "RtfReader.h"
#include "RtfText.h"
#include "WinPrintersOnline.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryFile>
#include <QTextDocument>

#include <cups/cups.h>

#include <cmath>

namespace {

// Millimetres to printer pixels, rounded to the nearest pixel, ties to even.
int MmToPixels(float fMillimetres, int iDpi)
{
    return int(std::nearbyint(double(fMillimetres) / 25.4 * iDpi));
}

void Submit(const QString& sPrinter, const QString& sFile, const QString& sTitle)
{
    const QByteArray aPrinter = sPrinter.toUtf8();
    const int iJob =
        cupsPrintFile2(CUPS_HTTP_DEFAULT, aPrinter.constData(), QFile::encodeName(sFile).constData(),
                       sTitle.toUtf8().constData(), 0, nullptr);
    if (iJob <= 0)
        throw EError(Format(QStringLiteral("Printer \"%s\" did not take the print job \"%s\": %s"),
                            {sPrinter, sTitle, QString::fromUtf8(cupsLastErrorString())}));
}

} // namespace

std::optional<TPrinterOrientation> PrinterOrientation(const QString& sWord)
{
    if (sWord.compare(QLatin1String("Portrait"), Qt::CaseInsensitive) == 0)
        return poPortrait;
    if (sWord.compare(QLatin1String("Landscape"), Qt::CaseInsensitive) == 0)
        return poLandscape;
    return std::nullopt;
}

QRect TRichEditPaper::PageRect(float fLeft, float fTop, float fRight, float fBottom, int iDpiX, int iDpiY,
                               int iOffX, int iOffY, int iWidth, int iHeight)
{
    const int iLeft = MmToPixels(fLeft, iDpiX) - iOffX;
    const int iTop = MmToPixels(fTop, iDpiY) - iOffY;
    const int iRight = iWidth - MmToPixels(fRight, iDpiX) - iOffX;
    const int iBottom = iHeight - MmToPixels(fBottom, iDpiY) - iOffY;
    return QRect(QPoint(iLeft, iTop), QPoint(iRight - 1, iBottom - 1));
}

bool TRichEditPaper::SelectPrinter(const QString& sName)
{
    for (const QString& sInstalled : TWinPrintersOnline::InstalledPrinters()) {
        if (sInstalled.compare(sName, Qt::CaseInsensitive) == 0) {
            fsPrinterName = sInstalled;
            return true;
        }
    }
    return false;
}

void TRichEditPaper::Print(const QString& sTitle, const QString& sText)
{
    // The templates are ANSI text: what the code page cannot hold does not print.
    const QByteArray aRtf = StringToAnsi(sText);
    QTextDocument document;
    TRtfReader reader;
    if (!reader.Read(aRtf, document))
        document.setPlainText(AnsiToString(aRtf));
    for (const QString& sWarning : reader.Warnings())
        TMsg::Warning(QStringLiteral("Print job \"%s\": %s"), {sTitle, sWarning});

    QString sPrinter = fsPrinterName;
    if (sPrinter.isEmpty() && fsOutputFileName.isEmpty()) {
        sPrinter = QString::fromUtf8(cupsGetDefault());
        if (sPrinter.isEmpty())
            throw EError(QStringLiteral("No printer selected and no default printer installed"));
    }

    // The paper and printable area of the printer; the pages themselves are rendered as PDF, the
    // form the printing system takes, so that a job it refuses is noticed.
    QPageLayout layout;
    {
        QPrinter device(QPrinter::HighResolution);
        if (!sPrinter.isEmpty())
            device.setPrinterName(sPrinter);
        layout = device.pageLayout();
    }
    layout.setOrientation(FOrientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);

    QTemporaryFile spoolFile(QDir::tempPath() + QStringLiteral("/tzk-print-XXXXXX.pdf"));
    QString sFile = fsOutputFileName;
    if (sFile.isEmpty()) {
        if (!spoolFile.open())
            throw EError(Format(QStringLiteral("Can not create the print file for \"%s\": %s"),
                                {sTitle, spoolFile.errorString()}));
        sFile = spoolFile.fileName();
        spoolFile.close();
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(sFile);
    printer.setDocName(sTitle);
    printer.setCreator(QStringLiteral("TZK"));
    printer.setPageLayout(layout);
    Render(printer, document);

    if (fsOutputFileName.isEmpty())
        Submit(sPrinter, sFile, sTitle);
}

void TRichEditPaper::Render(QPrinter& aPrinter, QTextDocument& aDocument) const
{
    const QRect paper = aPrinter.paperRect(QPrinter::DevicePixel).toRect();
    const QRect printable = aPrinter.pageRect(QPrinter::DevicePixel).toRect();
    const QRect page = PageRect(FMarginLeft, FMarginTop, FMarginRight, FMarginBottom, aPrinter.logicalDpiX(),
                                aPrinter.logicalDpiY(), printable.left() - paper.left(),
                                printable.top() - paper.top(), printable.width(), printable.height());
    if (page.width() <= 0 || page.height() <= 0)
        throw EError(
            Format(QStringLiteral("The margins %g, %g, %g and %g mm leave no room on the page"),
                   {double(FMarginLeft), double(FMarginTop), double(FMarginRight), double(FMarginBottom)}));

    // Lay the text out in printer pixels, so that point sizes come out right on paper.
    aDocument.documentLayout()->setPaintDevice(&aPrinter);
    aDocument.setDocumentMargin(0);
    aDocument.setPageSize(page.size());

    QPainter painter;
    if (!painter.begin(&aPrinter))
        throw EError(Format(QStringLiteral("Can not start the print job \"%s\""), {aPrinter.docName()}));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    const int iPages = aDocument.pageCount();
    for (int iPage = 0; iPage < iPages; ++iPage) {
        if (iPage > 0 && !aPrinter.newPage())
            throw EError(Format(QStringLiteral("Can not start page %d of the print job \"%s\""),
                                {iPage + 1, aPrinter.docName()}));
        const QRectF clip(0, qreal(iPage) * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(page.left(), page.top() - clip.top());
        painter.setClipRect(clip);
        // A line moved to the next page starts exactly on the boundary; leaving it out here keeps
        // its text out of this page altogether, not only out of sight.
        context.clip = clip.adjusted(0, 0, 0, -1);
        aDocument.documentLayout()->draw(&painter, context);
        painter.restore();
    }
    if (!painter.end() || aPrinter.printerState() == QPrinter::Error)
        throw EError(Format(QStringLiteral("The print job \"%s\" failed"), {aPrinter.docName()}));
}
