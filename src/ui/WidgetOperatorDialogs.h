#pragma once

#include "execution/OperatorDialogs.h"

#include <QPointer>

class QDialog;
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

private:
    // Runs the dialog modally as the active one.
    int Show(QDialog& aDialog);

    QPointer<QWidget> fParent;
    QPointer<QDialog> fActive;
};
