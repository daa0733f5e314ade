#include "FakeDocumentDisplay.h"

#include "core/MsgExceptions.h"

void TFakeDocumentDisplay::Navigate(const QString& sTarget)
{
    if (slRefused.contains(sTarget))
        throw EError(QStringLiteral("Invalid address"));
    slTargets.append(sTarget);
}
