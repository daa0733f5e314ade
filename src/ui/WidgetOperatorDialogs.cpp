#include "WidgetOperatorDialogs.h"

#include <QInputDialog>
#include <QMessageBox>

TWidgetOperatorDialogs::TWidgetOperatorDialogs(QWidget* aParent) : fParent(aParent) {}

TDialogAnswer TWidgetOperatorDialogs::MessageBox(const QString& sCaption, const QString& sText,
                                                 TDialogButtons eButtons)
{
    QMessageBox box(fParent);
    box.setWindowTitle(sCaption);
    box.setText(sText);
    switch (eButtons) {
    case TDialogButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case TDialogButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case TDialogButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    Show(box);
    switch (box.standardButton(box.clickedButton())) {
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
