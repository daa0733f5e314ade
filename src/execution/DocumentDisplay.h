#pragma once

#include <QString>

// The document view beside the test tree, for commands that show the test manual.
class IDocumentDisplay
{
public:
    virtual ~IDocumentDisplay() = default;

    // Shows a file, optionally followed by "#" and an anchor ("#anchor" alone jumps within the
    // page shown). Raises EError when the view refuses the target; does not wait for the page.
    virtual void Navigate(const QString& sTarget) = 0;
};
