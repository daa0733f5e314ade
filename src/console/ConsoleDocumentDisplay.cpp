#include "ConsoleDocumentDisplay.h"

#include "core/MsgClasses.h"

void TConsoleDocumentDisplay::Navigate(const QString& sTarget)
{
    TMsg::Info(QStringLiteral("Show document \"%s\""), {sTarget});
}
