#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

// What poppler's command-line tools read from a PDF file.
struct TPdfInfo
{
    bool bValid = false;
    int iPages = 0;
    QSizeF pageSize; // points, the first page
    QString sTitle;
};

TPdfInfo ReadPdfInfo(const QString& sFile);
// The box of the first word on the first page, in points; empty when there is none. A word that
// is higher than wide runs across a page printed sideways.
QRectF ReadPdfFirstWordBox(const QString& sFile);
// The text in the order it was drawn, as pdftotext -raw gives it; empty when the tool fails.
QString ReadPdfText(const QString& sFile);
// The non-empty lines of that text, blanks simplified; ligatures the PDF may hold are read as the
// letters they stand for.
QStringList ReadPdfLines(const QString& sFile);
