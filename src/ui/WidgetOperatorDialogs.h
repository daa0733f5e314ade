#pragma once

#include "execution/OperatorDialogs.h"

#include <QPointer>

class QDialog;
class QMessageBox;
class QWidget;

// The operator's questions as modal Qt dialogs over the main window.
class TWidgetOperatorDialogs : public IOperatorDialogs
{
public:
    // aParent: the window the dialogs are centred on and brought to the front with.
    explicit TWidgetOperatorDialogs(QWidget* aParent);

    TDialogAnswer MessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons) override;
    std::optional<QString> InputBox(const QString& sCaption, const QString& sPrompt,
                                    const QString& sDefault) override;
    bool CloseActiveDialog() override;

    // A message box's caption, text and buttons, as both the modal and the later form show it.
    static void Prepare(QMessageBox& aBox, const QString& sCaption, const QString& sText,
                        TDialogButtons eButtons);
    // The answer of a closed box: the clicked button, or what closing without one means.
    static TDialogAnswer Answer(const QMessageBox& aBox, TDialogButtons eButtons);

private:
    // Runs the dialog modally as the active one.
    int Show(QDialog& aDialog);

    QPointer<QWidget> fParent;
    QPointer<QDialog> fActive;
};
