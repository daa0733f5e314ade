#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;
class QFrame;

// The dialog at the end of every complete run: green "Passed", or red with the number and the list
// of failures. "Next " starts the next run.
class TfrmFinalDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmFinalDlg(QWidget* aParent = nullptr);

    void AddFailedJob(const QString& sText);
    void SetControls(bool bPassed);
    // Lists the failures, shows the result modally and empties the list again; true for "Next ".
    bool ShowResult(bool bPassed, const QStringList& aFailedJobs);

    QLabel* ResultLabel() const { return fLabel; }
    QComboBox* FailedJobs() const { return cboFailedJobs; }
    QFrame* Panel() const { return fPanel; }
    QLabel* PassedPicture() const { return fPassedPicture; }
    QLabel* FailedPicture() const { return fFailedPicture; }
    QPushButton* NextButton() const { return fNext; }
    QPushButton* CancelButton() const { return fCancel; }

protected:
    void done(int iResult) override;

private:
    QFrame* fPanel;
    QLabel* fPassedPicture;
    QLabel* fFailedPicture;
    QLabel* fLabel;
    QComboBox* cboFailedJobs;
    QPushButton* fNext;
    QPushButton* fCancel;
};
