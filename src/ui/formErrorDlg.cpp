#include "formErrorDlg.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

TfrmErrorDlg::TfrmErrorDlg(QWidget* aParent)
    : QDialog(aParent), stTestCase(new QLabel(this)), stErrorText(new QLabel(this)),
      tbOperator(new QLineEdit(this)), Memo1(new QPlainTextEdit(this)),
      btPrint(new QPushButton(QStringLiteral("Print"), this)),
      btCancel(new QPushButton(QStringLiteral("Close"), this)),
      cbStopTestProcess(new QCheckBox(QStringLiteral("Stop Test Process"), this))
{
    setWindowTitle(QStringLiteral("Error Report"));
    setModal(true);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    stErrorText->setWordWrap(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    btPrint->setDefault(true);
    btPrint->setEnabled(false);

    auto* grid = new QGridLayout();
    grid->addWidget(new QLabel(QStringLiteral("Test Function: "), this), 0, 0);
    grid->addWidget(stTestCase, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Error: "), this), 1, 0, Qt::AlignTop);
    grid->addWidget(stErrorText, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Operator:"), this), 2, 0);
    grid->addWidget(tbOperator, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Remark:"), this), 3, 0, Qt::AlignTop);
    grid->addWidget(Memo1, 3, 1);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(cbStopTestProcess);
    buttons->addStretch();
    buttons->addWidget(btPrint);
    buttons->addWidget(btCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Memo1->setFixedSize(380, 110);

    connect(tbOperator, &QLineEdit::textChanged, this,
            [this](const QString& sText) { btPrint->setEnabled(!sText.isEmpty()); });
    connect(btPrint, &QPushButton::clicked, this, &TfrmErrorDlg::btPrintClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmErrorDlg::ShowReport(TErrorReport& aReport)
{
    fReport = &aReport;
    stTestCase->setText(QStringLiteral(" ") + aReport.TestFunction());
    stErrorText->setText(QStringLiteral(" ") + aReport.ErrorText());
    tbOperator->setText(aReport.OperatorName());
    btPrint->setEnabled(!tbOperator->text().isEmpty());
    Memo1->setPlainText(aReport.Remark());
    cbStopTestProcess->setChecked(aReport.ExitAfterFailure());
    if (tbOperator->text().isEmpty())
        tbOperator->setFocus();
    else
        Memo1->setFocus();
    if (QWidget* main = parentWidget()) {
        // Before the first showing the dialog has no size of its own yet: lay it out first.
        adjustSize();
        const QRect mainFrame = main->window()->frameGeometry();
        move(mainFrame.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }

    exec();

    aReport.SetRemark(Memo1->toPlainText());
    aReport.SetExitAfterFailure(cbStopTestProcess->isChecked());
    fReport = nullptr;
}

void TfrmErrorDlg::btPrintClick()
{
    if (!fReport)
        return;
    try {
        fReport->SetOperatorName(tbOperator->text());
        fReport->SetRemark(Memo1->toPlainText());
        if (FOnPrint)
            FOnPrint(*fReport);
        accept();
    } catch (const std::exception& e) {
        // The dialog stays open; the error goes where every unhandled error goes.
        const QString sText = ExceptionText(e);
        TMsg::Fatal(sText);
        QMessageBox::critical(this, QStringLiteral("TZK"), sText);
    }
}
