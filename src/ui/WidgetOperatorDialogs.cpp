#include "WidgetOperatorDialogs.h"

#include <QInputDialog>
#include <QMessageBox>

TWidgetOperatorDialogs::TWidgetOperatorDialogs(QWidget* aParent) : fParent(aParent) {}

TDialogAnswer TWidgetOperatorDialogs::MessageBox(const QString& sCaption, const QString& sText,
                                                 TDialogButtons eButtons)
{
    QMessageBox box(fParent);
    Prepare(box, sCaption, sText, eButtons);
    Show(box);
    return Answer(box, eButtons);
}

void TWidgetOperatorDialogs::Prepare(QMessageBox& aBox, const QString& sCaption, const QString& sText,
                                     TDialogButtons eButtons)
{
    aBox.setWindowTitle(sCaption);
    aBox.setText(sText);
    switch (eButtons) {
    case TDialogButtons::Ok:
        aBox.setStandardButtons(QMessageBox::Ok);
        aBox.setEscapeButton(QMessageBox::Ok);
        break;
    case TDialogButtons::OkCancel:
        aBox.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        aBox.setEscapeButton(QMessageBox::Cancel);
        break;
    case TDialogButtons::YesNo:
        aBox.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
}

TDialogAnswer TWidgetOperatorDialogs::Answer(const QMessageBox& aBox, TDialogButtons eButtons)
{
    switch (aBox.standardButton(aBox.clickedButton())) {
    case QMessageBox::Ok:
        return TDialogAnswer::Ok;
    case QMessageBox::Yes:
        return TDialogAnswer::Yes;
    case QMessageBox::No:
        return TDialogAnswer::No;
    default:
        // Closed without a button, or withdrawn by CloseActiveDialog.
        return eButtons == TDialogButtons::Ok      ? TDialogAnswer::Ok
               : eButtons == TDialogButtons::YesNo ? TDialogAnswer::No
                                                   : TDialogAnswer::Cancel;
    }
}

std::optional<QString> TWidgetOperatorDialogs::InputBox(const QString& sCaption, const QString& sPrompt,
                                                        const QString& sDefault)
{
    QInputDialog dialog(fParent);
    dialog.setWindowTitle(sCaption);
    dialog.setLabelText(sPrompt);
    dialog.setTextValue(sDefault);
    if (Show(dialog) != QDialog::Accepted)
        return sDefault;
    return dialog.textValue();
}

bool TWidgetOperatorDialogs::CloseActiveDialog()
{
    if (fParent) {
        fParent->raise();
        fParent->activateWindow();
    }
    if (!fActive)
        return false;
    fActive->reject();
    return true;
}

int TWidgetOperatorDialogs::Show(QDialog& aDialog)
{
    const QPointer<QDialog> previous = fActive;
    fActive = &aDialog;
    const int iResult = aDialog.exec();
    fActive = previous;
    return iResult;
}
