#pragma once

#include "execution/DocumentDisplay.h"

#include <QString>
#include <QWidget>

// The document view beside the test tree: shows the test manual and definition documents and
// reports the links that call tests or answer define queries instead of navigating. The document
// display devices navigate it too, so their targets pass the same link handling.
class TDocumentViewBase : public QWidget, public IDocumentDisplay
{
    Q_OBJECT

public:
    using QWidget::QWidget;

    // A local file path, a URL or "about:blank".
    virtual void ShowPage(const QString& sAddress) = 0;
    virtual QString Page() const = 0;
    // Shows a page that the program filled in: sHtml stands for the page at sAddress, whose
    // folder relative links resolve from. Page() then is sAddress.
    virtual void ShowPageText(const QString& sAddress, const QString& sHtml) = 0;
    // The text given to the last ShowPageText; empty after ShowPage.
    virtual QString PageText() const = 0;

    // IDocumentDisplay: shows the target; EError "Invalid address" when it cannot be shown.
    void Navigate(const QString& sTarget) override;

Q_SIGNALS:
    void CallTestItem(const QString& sName);
    void DefineValues(const QString& sAnswer);
    // After every navigation request, so that the window takes the keyboard focus back.
    void NavigationHandled();
};
