#pragma once

#include "WidgetOperatorDialogs.h"

#include <QPointer>

#include <functional>
#include <vector>

class QDialog;
class QWidget;

// The questions of one test socket in a window that serves several: the later forms open a
// window-modeless dialog (captioned with the socket's "[k] ") and answer when the operator closes
// it, so that one socket's open question never holds another socket; the dialog opens without
// taking the focus, which the operator gives it by choosing its socket. The blocking forms stay
// modal.
class TSocketOperatorDialogs : public IOperatorDialogs
{
public:
    // aParent: the window; fnChanged: called when a question opens or closes.
    TSocketOperatorDialogs(QWidget* aParent, int iSocket, std::function<void()> fnChanged);
    ~TSocketOperatorDialogs() override;
    TSocketOperatorDialogs(const TSocketOperatorDialogs&) = delete;
    TSocketOperatorDialogs& operator=(const TSocketOperatorDialogs&) = delete;

    TDialogAnswer MessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons) override;
    std::optional<QString> InputBox(const QString& sCaption, const QString& sPrompt,
                                    const QString& sDefault) override;
    // Withdraws the newest open question as if cancelled, else the modal one.
    bool CloseActiveDialog() override;
    void AskMessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons,
                       std::function<void(TDialogAnswer)> aAnswered) override;
    void AskInputBox(const QString& sCaption, const QString& sPrompt, const QString& sDefault,
                     std::function<void(std::optional<QString>)> aAnswered) override;

    // Whether a question of this socket waits for the operator (the later or the modal form).
    bool Waiting() const;
    // The newest open question of the later forms; null when none.
    QDialog* OpenQuestion() const;
    // Brings the newest open question to the front with the focus.
    bool RaiseQuestion();

private:
    QString Caption(const QString& sCaption) const;
    void Opened(QDialog* aDialog);
    void Closed();

    QPointer<QWidget> fParent;
    int fiSocket;
    std::function<void()> fnChanged;
    TWidgetOperatorDialogs fModal;
    int fiModalOpen = 0;
    std::vector<QPointer<QDialog>> fOpen;
};
