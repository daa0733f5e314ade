#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class TRegIO;
class TResultDatabase;

// Special settings: the view options and the failure behaviour, taken from and stored to the
// settings store; and where the station's result database stands.
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
    // Shows the database's state, kept up to date while the dialog is open; null: none configured.
    void ShowResultDatabase(const TResultDatabase* aDatabase);
    // A station of several test sockets: their count and each socket's wiring, the values of its
    // settings group "Socket<k>" in sSettingsFile ("SerialPorts\COM3=/dev/ttyUSB1"), or that it
    // uses the station's own. Not called with one socket, whose dialog stays without it.
    void ShowSockets(int iCount, const QString& sSettingsFile);
    QLabel* SocketsText() const { return lblSockets; }

    // "Today's Report" closes the dialog and calls fnShowReport; without one the button is off.
    void SetShowReport(std::function<void()> fnShowReport);

    QCheckBox* ShowToolbarTips() const { return cbShowToolbarTips; }
    QCheckBox* ShowToolbarCaption() const { return cbShowToolbarCaption; }
    QCheckBox* ShowTreeButtonAndLines() const { return cbShowTreeButtonAndLines; }
    QCheckBox* ShowCmdLineInTreeView() const { return cbShowCmdLineInTreeView; }
    QCheckBox* ShowErrorReportDlg() const { return cbShowErrorReportDlg; }
    QCheckBox* EndOnFailure() const { return cbEndOnFailure; }
    QLabel* ResultDatabaseState() const { return lblResultDatabase; }
    QPushButton* ShowReportButton() const { return btnShowReport; }

private:
    QCheckBox* cbShowToolbarTips;
    QCheckBox* cbShowToolbarCaption;
    QCheckBox* cbShowTreeButtonAndLines;
    QCheckBox* cbShowCmdLineInTreeView;
    QCheckBox* cbShowErrorReportDlg;
    QCheckBox* cbEndOnFailure;
    QLabel* lblResultDatabase;
    QPushButton* btnShowReport;
    QLabel* lblSockets = nullptr;
    std::function<void()> fnShowReport;
};
