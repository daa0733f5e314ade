#include "DocumentLinks.h"

#include <QFileInfo>
#include <QUrl>

TLinkAction ClassifyNavigation(const QString& sAddress)
{
    static const QString sCallMarker = QStringLiteral(">CallTestItem>");
    static const QString sDefineMarker = QStringLiteral(">InitDefineValues>");

    const QString sDecoded = QUrl::fromPercentEncoding(sAddress.toUtf8());
    int iPos = sDecoded.indexOf(sCallMarker);
    if (iPos >= 0)
        return {TLinkKind::CallTestItem, sDecoded.mid(iPos + sCallMarker.size())};
    iPos = sDecoded.indexOf(sDefineMarker);
    if (iPos >= 0) {
        QString sAnswer = sDecoded.mid(iPos + sDefineMarker.size());
        if (sAnswer.isEmpty())
            sAnswer = QStringLiteral("Exit");
        return {TLinkKind::DefineValues, sAnswer};
    }
    return {};
}

QUrl DocumentUrl(const QString& sTarget, const QUrl& aCurrent)
{
    if (sTarget.trimmed().isEmpty())
        return QUrl();
    if (QFileInfo(sTarget).isFile())
        return QUrl::fromLocalFile(QFileInfo(sTarget).absoluteFilePath());
    // The anchor follows the last "#": a file name may hold one, an anchor name does not.
    const int iHash = sTarget.lastIndexOf(QLatin1Char('#'));
    if (iHash >= 0) {
        const QString sFile = sTarget.left(iHash);
        QUrl url;
        if (sFile.isEmpty())
            url = aCurrent;
        else if (QFileInfo(sFile).isFile())
            url = QUrl::fromLocalFile(QFileInfo(sFile).absoluteFilePath());
        else
            return QUrl::fromUserInput(sTarget);
        url.setFragment(sTarget.mid(iHash + 1));
        return url;
    }
    return QUrl::fromUserInput(sTarget);
}
