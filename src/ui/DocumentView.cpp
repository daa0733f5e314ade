#include "DocumentView.h"

#include "DocumentLinks.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

namespace {

// Cancels the navigations that carry a test call or a define answer and reports them instead.
class TDocumentPage : public QWebEnginePage
{
public:
    TDocumentPage(TDocumentView* aView) : QWebEnginePage(aView), fView(aView) {}

protected:
    bool acceptNavigationRequest(const QUrl& aUrl, NavigationType /*eType*/, bool /*bMainFrame*/) override
    {
        const TLinkAction action = ClassifyNavigation(aUrl.toString(QUrl::FullyEncoded));
        switch (action.eKind) {
        case TLinkKind::CallTestItem:
            Q_EMIT fView->CallTestItem(action.sArgument);
            break;
        case TLinkKind::DefineValues:
            Q_EMIT fView->DefineValues(action.sArgument);
            break;
        case TLinkKind::Navigate:
            break;
        }
        Q_EMIT fView->NavigationHandled();
        return action.eKind == TLinkKind::Navigate;
    }

private:
    TDocumentView* fView;
};

} // namespace

TDocumentView::TDocumentView(QWidget* aParent) : TDocumentViewBase(aParent), fView(new QWebEngineView(this))
{
    fView->setPage(new TDocumentPage(this));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fView);
}

void TDocumentView::ShowPage(const QString& sAddress)
{
    fsPage = sAddress;
    fsPageText.clear();
    fView->setUrl(DocumentUrl(sAddress, fView->url()));
}

void TDocumentView::ShowPageText(const QString& sAddress, const QString& sHtml)
{
    fsPage = sAddress;
    fsPageText = sHtml;
    fView->setHtml(sHtml, DocumentUrl(sAddress, fView->url()));
}

void TDocumentView::PrepareEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0) {
        QByteArray aFlags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!aFlags.contains("--no-sandbox"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (aFlags + " --no-sandbox").trimmed());
    }
}
