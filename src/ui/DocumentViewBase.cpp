#include "DocumentViewBase.h"

#include "DocumentLinks.h"

#include "core/MsgExceptions.h"

#include <QUrl>

void TDocumentViewBase::Navigate(const QString& sTarget)
{
    if (!DocumentUrl(sTarget, QUrl()).isValid())
        throw EError(QStringLiteral("Invalid address"));
    ShowPage(sTarget);
}
