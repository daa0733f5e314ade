#pragma once

#include <QString>

// What a navigation of the document view means.
enum class TLinkKind
{
    Navigate,     // an ordinary link: the view follows it
    CallTestItem, // run the named test; the navigation is cancelled
    DefineValues  // the answer of a define query; the navigation is cancelled
};

struct TLinkAction
{
    TLinkKind eKind = TLinkKind::Navigate;
    QString sArgument;
};

// Reads the markers ">CallTestItem>" and ">InitDefineValues>" from a target address, compared
// against the percent-decoded form (links in documents are written with plain ">" but arrive
// encoded). An empty define answer becomes "Exit".
TLinkAction ClassifyNavigation(const QString& sAddress);

class QUrl;

// The address the document view loads for a navigation target: an existing local file; a file
// followed by "#" and an anchor; "#" and an anchor alone, which jumps within aCurrent (the page
// shown); anything else read as a URL. Invalid (the view refuses it) for an empty target.
QUrl DocumentUrl(const QString& sTarget, const QUrl& aCurrent);
