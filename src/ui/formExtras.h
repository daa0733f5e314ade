#pragma once

#include <QDialog>

class QCheckBox;
class TRegIO;

// Special settings: the view options and the failure behaviour, taken from and stored to the
// settings store.
class TfrmExtras : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmExtras(QWidget* aParent = nullptr);

    // The check boxes take the settings' values.
    void ReadSettings(const TRegIO& aSettings);
    // "Ok": stores the check boxes back.
    void WriteSettings(TRegIO& aSettings) const;
    // Shows the dialog modally; true (settings stored) for OK.
    bool Execute(TRegIO& aSettings);

    QCheckBox* ShowToolbarTips() const { return cbShowToolbarTips; }
    QCheckBox* ShowToolbarCaption() const { return cbShowToolbarCaption; }
    QCheckBox* ShowTreeButtonAndLines() const { return cbShowTreeButtonAndLines; }
    QCheckBox* ShowCmdLineInTreeView() const { return cbShowCmdLineInTreeView; }
    QCheckBox* ShowErrorReportDlg() const { return cbShowErrorReportDlg; }
    QCheckBox* EndOnFailure() const { return cbEndOnFailure; }

private:
    QCheckBox* cbShowToolbarTips;
    QCheckBox* cbShowToolbarCaption;
    QCheckBox* cbShowTreeButtonAndLines;
    QCheckBox* cbShowCmdLineInTreeView;
    QCheckBox* cbShowErrorReportDlg;
    QCheckBox* cbEndOnFailure;
};
