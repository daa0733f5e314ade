#include "OperatorNameBox.h"

#include <QInputDialog>

QString TOperatorNameBox::Ask(const QString& sCurrent, const TInput& aInput, const TError& aError)
{
    for (;;) {
        const std::optional<QString> answer = aInput(sCurrent);
        if (!answer)
            return sCurrent;
        const QString sName = answer->trimmed();
        if (!sName.isEmpty())
            return sName;
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
