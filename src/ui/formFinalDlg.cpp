#include "formFinalDlg.h"

#include "StateImages.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmFinalDlg::TfrmFinalDlg(QWidget* aParent)
    : QDialog(aParent), fPanel(new QFrame(this)), fPassedPicture(new QLabel(fPanel)),
      fFailedPicture(new QLabel(fPanel)), fLabel(new QLabel(fPanel)), cboFailedJobs(new QComboBox(fPanel)),
      fNext(new QPushButton(QStringLiteral("Next "), this)),
      fCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setModal(true);
    fPanel->setAutoFillBackground(true);
    fPanel->setMinimumSize(360, 140);
    fPassedPicture->setPixmap(UiIcon(QStringLiteral("passed")).pixmap(64, 64));
    fFailedPicture->setPixmap(UiIcon(QStringLiteral("failed")).pixmap(64, 64));
    QFont font = fLabel->font();
    font.setPointSize(26);
    font.setBold(true);
    fLabel->setFont(font);
    QPalette labelPalette = fLabel->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::white);
    fLabel->setPalette(labelPalette);

    auto* pictures = new QVBoxLayout();
    pictures->addWidget(fPassedPicture);
    pictures->addWidget(fFailedPicture);
    pictures->addStretch();
    auto* texts = new QVBoxLayout();
    texts->addWidget(fLabel);
    texts->addWidget(cboFailedJobs);
    texts->addStretch();
    auto* panelLayout = new QHBoxLayout(fPanel);
    panelLayout->addLayout(pictures);
    panelLayout->addLayout(texts, 1);

    fNext->setDefault(true);
    connect(fNext, &QPushButton::clicked, this, &QDialog::accept);
    connect(fCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(fNext);
    buttons->addWidget(fCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fPanel, 1);
    layout->addLayout(buttons);
}

void TfrmFinalDlg::AddFailedJob(const QString& sText)
{
    cboFailedJobs->addItem(sText);
}

void TfrmFinalDlg::SetControls(bool bPassed)
{
    fNext->setFocus();
    QPalette palette = fPanel->palette();
    palette.setColor(QPalette::Window, bPassed ? QColor(0, 128, 0) : QColor(255, 0, 0));
    fPanel->setPalette(palette);
    fPassedPicture->setVisible(bPassed);
    fFailedPicture->setVisible(!bPassed);
    auto* texts = fLabel->parentWidget()->layout();
    texts->setContentsMargins(texts->contentsMargins().left(), bPassed ? 30 : 18,
                              texts->contentsMargins().right(), texts->contentsMargins().bottom());
    if (bPassed) {
        fLabel->setText(QStringLiteral("Passed"));
        cboFailedJobs->setVisible(false);
    } else {
        fLabel->setText(QStringLiteral("%1x Failed").arg(cboFailedJobs->count()));
        cboFailedJobs->setVisible(true);
        cboFailedJobs->setCurrentIndex(cboFailedJobs->count() > 0 ? 0 : -1);
    }
}

bool TfrmFinalDlg::ShowResult(bool bPassed, const QStringList& aFailedJobs)
{
    for (const QString& sText : aFailedJobs)
        AddFailedJob(sText);
    SetControls(bPassed);
    return exec() == QDialog::Accepted;
}

void TfrmFinalDlg::done(int iResult)
{
    cboFailedJobs->clear();
    QDialog::done(iResult);
}
