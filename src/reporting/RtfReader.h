#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QTextDocument;

// Reads the RTF that people write for labels and reports: paragraphs and line breaks, bold,
// italic, underline, fonts, sizes, colours, alignment, indents, tabs, tables, 8-bit and Unicode
// characters. Groups and ignorable destinations are honoured, pictures and other destinations are
// skipped. Unknown control words are ignored; a malformed file gives what could be read and a
// warning.
class TRtfReader
{
public:
    // The document as HTML for QTextDocument; Warnings() says what was odd.
    QString ToHtml(const QByteArray& aRtf);
    // Fills aDocument with the RTF text; false when the text is no RTF at all.
    bool Read(const QByteArray& aRtf, QTextDocument& aDocument);

    const QStringList& Warnings() const { return fslWarnings; }

private:
    QStringList fslWarnings;
};
