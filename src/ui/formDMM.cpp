#include "formDMM.h"

#include "LCD99.h"

#include <QLabel>

namespace {

const int ciHeight = 56;
const int ciReadOutTop = 24;
const int ciReadOutHeight = 30;
const int ciCellWidth = 24;

} // namespace

TfrmDMM::TfrmDMM(QWidget* aParent) : QWidget(aParent), lblText(new QLabel(this)), LCD991(new TLCD99(this))
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    setFixedSize(145, ciHeight);

    QFont font = lblText->font();
    font.setPixelSize(12);
    lblText->setFont(font);
    lblText->move(2, 2);

    LCD991->SetDigitSpacing(5);
    LCD991->move(2, ciReadOutTop);
    LCD991->setFixedSize(ciCellWidth * LCD991->DigitNum(), ciReadOutHeight);
}

QString TfrmDMM::Text() const
{
    return lblText->text();
}

void TfrmDMM::SetText(const QString& sText)
{
    lblText->setText(sText);
    lblText->adjustSize();
}

int TfrmDMM::Digits() const
{
    return LCD991->DigitNum();
}

void TfrmDMM::SetDigits(int iDigits)
{
    LCD991->SetDigitNum(iDigits);
    const int iWidth = ciCellWidth * LCD991->DigitNum();
    LCD991->setFixedSize(iWidth, ciReadOutHeight);
    LCD991->SetValue(QString(LCD991->DigitNum(), QLatin1Char('-')));
    setFixedSize(iWidth + 4, ciHeight);
}

QColor TfrmDMM::ValueColor() const
{
    return LCD991->OnColor();
}

void TfrmDMM::SetValueColor(const QColor& aColor)
{
    LCD991->SetOnColor(aColor);
}

QString TfrmDMM::Value() const
{
    return LCD991->Value();
}

void TfrmDMM::SetValue(const QString& sValue)
{
    LCD991->SetValue(sValue);
}
