#include "DocumentLinks.h"

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
