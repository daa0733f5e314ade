#pragma once

#include "DocumentViewBase.h"

class QWebEngineView;

// The document view on the embedded web engine.
class TDocumentView : public TDocumentViewBase
{
    Q_OBJECT

public:
    explicit TDocumentView(QWidget* aParent = nullptr);

    void ShowPage(const QString& sAddress) override;
    QString Page() const override { return fsPage; }
    void ShowPageText(const QString& sAddress, const QString& sHtml) override;
    QString PageText() const override { return fsPageText; }

    // The engine's sandbox cannot start for the root user; call before the application object is
    // created.
    static void PrepareEngine();

private:
    QWebEngineView* fView;
    QString fsPage;
    QString fsPageText;
};
