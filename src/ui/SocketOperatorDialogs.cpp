#include "SocketOperatorDialogs.h"

#include <QInputDialog>
#include <QMessageBox>

#include <algorithm>
#include <memory>

TSocketOperatorDialogs::TSocketOperatorDialogs(QWidget* aParent, int iSocket, std::function<void()> fnChanged)
    : fParent(aParent), fiSocket(iSocket), fnChanged(std::move(fnChanged)), fModal(aParent)
{}

TSocketOperatorDialogs::~TSocketOperatorDialogs()
{
    // The commands that asked are gone with their sessions: nobody takes an answer any more.
    for (const QPointer<QDialog>& dialog : fOpen) {
        if (dialog) {
            dialog->disconnect();
            delete dialog.data();
        }
    }
}

QString TSocketOperatorDialogs::Caption(const QString& sCaption) const
{
    return QStringLiteral("[%1] ").arg(fiSocket) + sCaption;
}

TDialogAnswer TSocketOperatorDialogs::MessageBox(const QString& sCaption, const QString& sText,
                                                 TDialogButtons eButtons)
{
    ++fiModalOpen;
    if (fnChanged)
        fnChanged();
    const TDialogAnswer eAnswer = fModal.MessageBox(Caption(sCaption), sText, eButtons);
    --fiModalOpen;
    if (fnChanged)
        fnChanged();
    return eAnswer;
}

std::optional<QString> TSocketOperatorDialogs::InputBox(const QString& sCaption, const QString& sPrompt,
                                                        const QString& sDefault)
{
    ++fiModalOpen;
    if (fnChanged)
        fnChanged();
    std::optional<QString> sAnswer = fModal.InputBox(Caption(sCaption), sPrompt, sDefault);
    --fiModalOpen;
    if (fnChanged)
        fnChanged();
    return sAnswer;
}

bool TSocketOperatorDialogs::CloseActiveDialog()
{
    if (QDialog* dialog = OpenQuestion()) {
        dialog->reject();
        return true;
    }
    return fModal.CloseActiveDialog();
}

void TSocketOperatorDialogs::AskMessageBox(const QString& sCaption, const QString& sText,
                                           TDialogButtons eButtons,
                                           std::function<void(TDialogAnswer)> aAnswered)
{
    auto* box = new QMessageBox(fParent);
    TWidgetOperatorDialogs::Prepare(*box, Caption(sCaption), sText, eButtons);
    box->setObjectName(QStringLiteral("socketQuestion%1").arg(fiSocket));
    QObject::connect(box, &QDialog::finished, box,
                     [this, box, eButtons, aAnswered = std::move(aAnswered)](int) {
                         const TDialogAnswer eAnswer = TWidgetOperatorDialogs::Answer(*box, eButtons);
                         box->deleteLater();
                         Closed();
                         aAnswered(eAnswer);
                     });
    Opened(box);
}

void TSocketOperatorDialogs::AskInputBox(const QString& sCaption, const QString& sPrompt,
                                         const QString& sDefault,
                                         std::function<void(std::optional<QString>)> aAnswered)
{
    auto* dialog = new QInputDialog(fParent);
    dialog->setWindowTitle(Caption(sCaption));
    dialog->setLabelText(sPrompt);
    dialog->setTextValue(sDefault);
    dialog->setObjectName(QStringLiteral("socketQuestion%1").arg(fiSocket));
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [this, dialog, sDefault, aAnswered = std::move(aAnswered)](int iResult) {
                         const QString sAnswer =
                             iResult == QDialog::Accepted ? dialog->textValue() : sDefault;
                         dialog->deleteLater();
                         Closed();
                         aAnswered(sAnswer);
                     });
    Opened(dialog);
}

void TSocketOperatorDialogs::Opened(QDialog* aDialog)
{
    aDialog->setWindowModality(Qt::NonModal);
    aDialog->setAttribute(Qt::WA_ShowWithoutActivating);
    fOpen.emplace_back(aDialog);
    aDialog->show();
    if (fnChanged)
        fnChanged();
}

void TSocketOperatorDialogs::Closed()
{
    fOpen.erase(std::remove_if(fOpen.begin(), fOpen.end(),
                               [](const QPointer<QDialog>& d) { return !d || !d->isVisible(); }),
                fOpen.end());
    if (fnChanged)
        fnChanged();
}

bool TSocketOperatorDialogs::Waiting() const
{
    return fiModalOpen > 0 || OpenQuestion() != nullptr;
}

QDialog* TSocketOperatorDialogs::OpenQuestion() const
{
    for (auto it = fOpen.rbegin(); it != fOpen.rend(); ++it)
        if (*it && (*it)->isVisible())
            return it->data();
    return nullptr;
}

bool TSocketOperatorDialogs::RaiseQuestion()
{
    QDialog* dialog = OpenQuestion();
    if (!dialog)
        return false;
    dialog->raise();
    dialog->activateWindow();
    return true;
}
