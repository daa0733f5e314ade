#pragma once

#include "reporting/ErrorReport.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The error report dialog: shows one failure, takes the operator's name and a remark, can print
// the report and lets the operator ask to stop the test process.
class TfrmErrorDlg : public QDialog, public IErrorReportView
{
    Q_OBJECT

public:
    // Prints the report; raises when it cannot (the dialog then stays open).
    using TPrintEvent = std::function<void(TErrorReport& aReport)>;

    explicit TfrmErrorDlg(QWidget* aParent = nullptr);

    // Fills the controls from the report, shows them modally and hands the operator's entries back.
    void ShowReport(TErrorReport& aReport) override;
    void SetOnPrint(TPrintEvent aEvent) { FOnPrint = std::move(aEvent); }

    QLabel* TestCaseLabel() const { return stTestCase; }
    QLabel* ErrorTextLabel() const { return stErrorText; }
    QLineEdit* OperatorBox() const { return tbOperator; }
    QPlainTextEdit* RemarkBox() const { return Memo1; }
    QPushButton* PrintButton() const { return btPrint; }
    QPushButton* CloseButton() const { return btCancel; }
    QCheckBox* StopBox() const { return cbStopTestProcess; }

private:
    void btPrintClick();

    QLabel* stTestCase;
    QLabel* stErrorText;
    QLineEdit* tbOperator;
    QPlainTextEdit* Memo1;
    QPushButton* btPrint;
    QPushButton* btCancel;
    QCheckBox* cbStopTestProcess;
    TErrorReport* fReport = nullptr;
    TPrintEvent FOnPrint;
};
