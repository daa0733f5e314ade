#include "IndicatorStripView.h"

#include "formDMM.h"

#include <QHBoxLayout>
#include <QPointer>

namespace {

// A device's hold on its read-out window; the window goes when the device lets go of it.
class TStripReadOut : public IIndicatorReadOut
{
public:
    TStripReadOut(TIndicatorStripView* aStrip, TfrmDMM* aWindow) : fStrip(aStrip), fWindow(aWindow) {}
    ~TStripReadOut() override
    {
        delete fWindow.data();
        if (fStrip)
            fStrip->UpdateHeight();
    }

    void SetCaption(const QString& sText) override
    {
        if (fWindow)
            fWindow->SetText(sText);
    }
    void SetDigits(int iDigits) override
    {
        if (fWindow)
            fWindow->SetDigits(iDigits);
    }
    void SetValueColor(std::uint32_t dwRgb) override
    {
        if (fWindow)
            fWindow->SetValueColor(QColor::fromRgb(QRgb(dwRgb)));
    }
    void SetValue(const QString& sValue) override
    {
        if (fWindow)
            fWindow->SetValue(sValue);
    }

private:
    // The window goes with the strip when the main window closes before the device does.
    QPointer<TIndicatorStripView> fStrip;
    QPointer<TfrmDMM> fWindow;
};

} // namespace

TIndicatorStripView::TIndicatorStripView(QWidget* aParent) : QWidget(aParent), fLayout(new QHBoxLayout(this))
{
    fLayout->setContentsMargins(0, 0, 0, 0);
    fLayout->setSpacing(2);
    fLayout->addStretch(1);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    UpdateHeight();
}

std::unique_ptr<IIndicatorReadOut> TIndicatorStripView::AddReadOut()
{
    auto* window = new TfrmDMM(this);
    // Before the stretch that keeps the windows at the left edge.
    fLayout->insertWidget(fLayout->count() - 1, window);
    window->show();
    UpdateHeight();
    return std::make_unique<TStripReadOut>(this, window);
}

QList<TfrmDMM*> TIndicatorStripView::ReadOuts() const
{
    QList<TfrmDMM*> windows;
    for (int i = 0; i < fLayout->count(); ++i) {
        if (auto* window = qobject_cast<TfrmDMM*>(fLayout->itemAt(i)->widget()))
            windows.append(window);
    }
    return windows;
}

void TIndicatorStripView::UpdateHeight()
{
    int iHeight = 0;
    for (const TfrmDMM* window : ReadOuts())
        iHeight = std::max(iHeight, window->height());
    setFixedHeight(iHeight);
}
