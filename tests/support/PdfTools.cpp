#include "PdfTools.h"

#include <QProcess>
#include <QRegularExpression>

namespace {

QString RunTool(const QString& sProgram, const QStringList& args)
{
    QProcess process;
    process.start(sProgram, args);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(1000);
        return QString();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

TPdfInfo ReadPdfInfo(const QString& sFile)
{
    TPdfInfo info;
    const QString sOut = RunTool(QStringLiteral("pdfinfo"), {sFile});
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(sOut);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^Page size:\\s+([\\d.]+) x ([\\d.]+) pts"),
                           QRegularExpression::MultilineOption)
            .match(sOut);
    const QRegularExpressionMatch title =
        QRegularExpression(QStringLiteral("^Title:\\s+(.*)$"), QRegularExpression::MultilineOption)
            .match(sOut);
    if (!pages.hasMatch() || !size.hasMatch())
        return info;
    info.bValid = true;
    info.iPages = pages.captured(1).toInt();
    info.pageSize = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());
    info.sTitle = title.captured(1).trimmed();
    return info;
}

QString ReadPdfText(const QString& sFile)
{
    return RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), sFile, QStringLiteral("-")});
}

QStringList ReadPdfLines(const QString& sFile)
{
    QStringList lines;
    for (const QString& sLine : ReadPdfText(sFile).split(QLatin1Char('\n'))) {
        const QString s = sLine.normalized(QString::NormalizationForm_KC).simplified();
        if (!s.isEmpty())
            lines << s;
    }
    return lines;
}

QRectF ReadPdfFirstWordBox(const QString& sFile)
{
    const QString sOut =
        RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-l"),
                                              QStringLiteral("1"), sFile, QStringLiteral("-")});
    const QRegularExpressionMatch word =
        QRegularExpression(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                                          "yMax=\"([\\d.]+)\">"))
            .match(sOut);
    if (!word.hasMatch())
        return QRectF();
    return QRectF(QPointF(word.captured(1).toDouble(), word.captured(2).toDouble()),
                  QPointF(word.captured(3).toDouble(), word.captured(4).toDouble()));
}
