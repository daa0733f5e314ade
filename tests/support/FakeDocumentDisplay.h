#pragma once

#include "execution/DocumentDisplay.h"

#include <QString>
#include <QStringList>

// The document view of device tests: records every navigation target; a target listed in
// slRefused is refused as the view refuses one it cannot show.
class TFakeDocumentDisplay : public IDocumentDisplay
{
public:
    void Navigate(const QString& sTarget) override;

    QStringList slTargets;
    QStringList slRefused;
};
