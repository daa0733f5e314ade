#include "OperatorNameBox.h"

#include <QInputDialog>

QString TOperatorNameBox::Ask(const QString& sCurrent, const TInput& aInput, const TError& aError,
                              const TGiveUp& aGiveUp)
{
    for (;;) {
        // Cancelling answers with the previous name, which may be empty as well.
        const std::optional<QString> answer = aInput(sCurrent);
        const QString sName = answer.value_or(sCurrent).trimmed();
        if (!sName.isEmpty())
            return sName;
        if (aGiveUp && aGiveUp())
            return QString();
        aError(QStringLiteral("Operator name cannot be empty!"));
    }
}

std::optional<QString> TOperatorNameBox::InputBox(QWidget* aParent, const QString& sDefault)
{
    bool bOk = false;
    const QString sAnswer = QInputDialog::getText(
        aParent, QStringLiteral("Operator"), QStringLiteral("Enter Name"), QLineEdit::Normal, sDefault, &bOk);
    if (!bOk)
        return std::nullopt;
    return sAnswer;
}
