#pragma once

#include "execution/DocumentDisplay.h"

// The document view of a headless run: there is nothing to show, so every navigation target is
// one information line of the log.
class TConsoleDocumentDisplay : public IDocumentDisplay
{
public:
    void Navigate(const QString& sTarget) override;
};
