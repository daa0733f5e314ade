#pragma once

#include "execution/IndicatorStrip.h"

#include <QWidget>

class QHBoxLayout;
class TfrmDMM;

// The window's indicator strip: the indicators' read-out windows side by side from the left. It is
// as high as a read-out window while it holds one and 0 high otherwise.
class TIndicatorStripView : public QWidget, public IIndicatorStrip
{
    Q_OBJECT

public:
    explicit TIndicatorStripView(QWidget* aParent = nullptr);

    std::unique_ptr<IIndicatorReadOut> AddReadOut() override;

    // The read-out windows, from the left.
    QList<TfrmDMM*> ReadOuts() const;
    // Fits the height to the read-outs held.
    void UpdateHeight();

private:
    QHBoxLayout* fLayout;
};
