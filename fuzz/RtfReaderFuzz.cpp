// Feeds arbitrary bytes through the RTF reader, tables included, and loads the result into a
// document as printing does. Aborts when the HTML it writes is not well nested or grows out of
// proportion to the input.

#include "FuzzSupport.h"

#include "reporting/RtfReader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <memory>

extern "C" int LLVMFuzzerInitialize(int* piArgc, char*** pppArgv)
{
    // Documents need the font database, which needs an application object.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(*piArgc, *pppArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QByteArray aRtf(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    TRtfReader reader;
    const QString sHtml = reader.ToHtml(aRtf);

    FuzzCheck(sHtml.count(QLatin1String("<table")) == sHtml.count(QLatin1String("</table>")),
              "tables closed");
    FuzzCheck(sHtml.count(QLatin1String("<tr>")) == sHtml.count(QLatin1String("</tr>")), "rows closed");
    FuzzCheck(sHtml.count(QLatin1String("<p ")) == sHtml.count(QLatin1String("</p>")), "paragraphs closed");
    FuzzCheck(sHtml.count(QLatin1String("<span ")) == sHtml.count(QLatin1String("</span>")), "spans closed");
    // Every input byte may open a paragraph or a span with its style, but no more than that.
    FuzzCheck(sHtml.size() <= 512 * (qsizetype(nSize) + 1), "HTML in proportion to the input");
    FuzzCheck(aRtf.trimmed().startsWith("{\\rtf") || !reader.Warnings().isEmpty(),
              "text that is no RTF is warned about");

    QTextDocument document;
    const bool bRtf = reader.Read(aRtf, document);
    FuzzCheck(bRtf == aRtf.trimmed().startsWith("{\\rtf"), "Read tells RTF from other text");
    return 0;
}
