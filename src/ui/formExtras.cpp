#include "formExtras.h"

#include "core/RegIO.h"
#include "reporting/results/ResultDatabase.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

TfrmExtras::TfrmExtras(QWidget* aParent)
    : QDialog(aParent), cbShowToolbarTips(new QCheckBox(QStringLiteral("Show toolbar tips"))),
      cbShowToolbarCaption(new QCheckBox(QStringLiteral("Show toolbar text"))),
      cbShowTreeButtonAndLines(new QCheckBox(QStringLiteral("Show buttons and lines in test process tree"))),
      cbShowCmdLineInTreeView(new QCheckBox(QStringLiteral("Show command line in test process tree"))),
      cbShowErrorReportDlg(new QCheckBox(QStringLiteral("Show Error Report dialog"))),
      cbEndOnFailure(new QCheckBox(QStringLiteral("End test process after a test failure"))),
      lblResultDatabase(new QLabel), btnShowReport(new QPushButton(QStringLiteral("Today's Report")))
{
    setWindowTitle(QStringLiteral("Extras"));
    auto* ui = new QGroupBox(QStringLiteral("User Interface "), this);
    auto* uiLayout = new QVBoxLayout(ui);
    uiLayout->addWidget(cbShowToolbarTips);
    uiLayout->addWidget(cbShowToolbarCaption);
    uiLayout->addWidget(cbShowTreeButtonAndLines);
    uiLayout->addWidget(cbShowCmdLineInTreeView);
    auto* process = new QGroupBox(QStringLiteral("Test Process "), this);
    auto* processLayout = new QVBoxLayout(process);
    processLayout->addWidget(cbShowErrorReportDlg);
    processLayout->addWidget(cbEndOnFailure);
    auto* results = new QGroupBox(QStringLiteral("Result Database "), this);
    auto* resultsLayout = new QVBoxLayout(results);
    lblResultDatabase->setWordWrap(true);
    lblResultDatabase->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultsLayout->addWidget(lblResultDatabase);
    btnShowReport->setToolTip(QStringLiteral("Shows this station's report for today in the document view"));
    btnShowReport->setEnabled(false);
    connect(btnShowReport, &QPushButton::clicked, this, [this] {
        reject();
        if (fnShowReport)
            fnShowReport();
    });
    resultsLayout->addWidget(btnShowReport, 0, Qt::AlignLeft);
    ShowResultDatabase(nullptr);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ui);
    layout->addWidget(process);
    layout->addWidget(results);
    layout->addWidget(buttons);
}

void TfrmExtras::ReadSettings(const TRegIO& aSettings)
{
    cbShowToolbarTips->setChecked(aSettings.ShowToolbarTips());
    cbShowToolbarCaption->setChecked(aSettings.ShowToolbarCaption());
    cbShowTreeButtonAndLines->setChecked(aSettings.ShowTreeButtonAndLines());
    cbShowCmdLineInTreeView->setChecked(aSettings.ShowCmdLineInTreeView());
    cbShowErrorReportDlg->setChecked(aSettings.ShowErrorReportDlg());
    cbEndOnFailure->setChecked(aSettings.EndOnFailure());
}

void TfrmExtras::WriteSettings(TRegIO& aSettings) const
{
    aSettings.SetShowToolbarTips(cbShowToolbarTips->isChecked());
    aSettings.SetShowToolbarCaption(cbShowToolbarCaption->isChecked());
    aSettings.SetShowTreeButtonAndLines(cbShowTreeButtonAndLines->isChecked());
    aSettings.SetShowCmdLineInTreeView(cbShowCmdLineInTreeView->isChecked());
    aSettings.SetShowErrorReportDlg(cbShowErrorReportDlg->isChecked());
    aSettings.SetEndOnFailure(cbEndOnFailure->isChecked());
}

bool TfrmExtras::Execute(TRegIO& aSettings)
{
    ReadSettings(aSettings);
    if (exec() != QDialog::Accepted)
        return false;
    WriteSettings(aSettings);
    return true;
}

void TfrmExtras::ShowResultDatabase(const TResultDatabase* aDatabase)
{
    if (!aDatabase) {
        lblResultDatabase->setText(QStringLiteral("Not configured"));
        return;
    }
    lblResultDatabase->setText(aDatabase->StateText());
    connect(aDatabase, &TResultDatabase::StateChanged, lblResultDatabase,
            [this, aDatabase] { lblResultDatabase->setText(aDatabase->StateText()); });
}

void TfrmExtras::ShowSockets(int iCount, const QString& sSettingsFile)
{
    if (!lblSockets) {
        auto* sockets = new QGroupBox(QStringLiteral("Test Sockets "), this);
        auto* socketsLayout = new QVBoxLayout(sockets);
        lblSockets = new QLabel(sockets);
        lblSockets->setObjectName(QStringLiteral("lblSockets"));
        lblSockets->setTextInteractionFlags(Qt::TextSelectableByMouse);
        socketsLayout->addWidget(lblSockets);
        // Above the OK and Cancel buttons.
        auto* pLayout = static_cast<QVBoxLayout*>(layout());
        pLayout->insertWidget(pLayout->count() - 1, sockets);
    }
    QStringList slLines{QStringLiteral("Sockets: %1 (settings value Sockets/Count)").arg(iCount)};
    QSettings settings(sSettingsFile, QSettings::IniFormat);
    for (int i = 1; i <= iCount; ++i) {
        settings.beginGroup(QStringLiteral("Socket%1").arg(i));
        QStringList slWiring;
        for (const QString& sKey : settings.allKeys())
            slWiring.append(sKey + QLatin1Char('=') + settings.value(sKey).toString());
        settings.endGroup();
        slLines.append(QStringLiteral("Socket %1: %2")
                           .arg(i)
                           .arg(slWiring.isEmpty() ? QStringLiteral("the station's wiring")
                                                   : slWiring.join(QStringLiteral(", "))));
    }
    lblSockets->setText(slLines.join(QLatin1Char('\n')));
}

void TfrmExtras::SetShowReport(std::function<void()> fnShow)
{
    fnShowReport = std::move(fnShow);
    btnShowReport->setEnabled(bool(fnShowReport));
}
