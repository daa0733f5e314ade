#include "ui/DocumentView.h"

#include "UiTestSupport.h"

#include "TestEnvironment.h"

#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace {

// The real web view: a file with an anchor is shown with the anchor as the page's fragment, and a
// target carrying a test call is handled as a link instead of being shown.
TEST(DocumentViewTest, NavigatesToFileAnchorsAndHandlesLinksInTargets)
{
    const TTestDir dir;
    const QString sManual = dir.WriteText(QStringLiteral("manual.html"),
                                          QStringLiteral("<html><body><p style=\"height:3000px\">top</p>"
                                                         "<h2 id=\"step3\">Step 3</h2></body></html>"));
    TDocumentView view;
    view.resize(400, 300);
    view.show();
    auto* web = view.findChild<QWebEngineView*>();
    ASSERT_NE(web, nullptr);
    QSignalSpy loaded(web, &QWebEngineView::loadFinished);

    view.Navigate(sManual + QStringLiteral("#step3"));
    ASSERT_TRUE(RunUntil([&] { return loaded.count() > 0; }, 60000)) << "the page did not load";
    EXPECT_TRUE(loaded.first().first().toBool());
    EXPECT_EQ(web->url().toLocalFile(), sManual);
    EXPECT_EQ(web->url().fragment(), QStringLiteral("step3"));
    QString sHash;
    web->page()->runJavaScript(QStringLiteral("location.hash"),
                               [&](const QVariant& aResult) { sHash = aResult.toString(); });
    ASSERT_TRUE(RunUntil([&] { return !sHash.isEmpty(); }, 20000));
    EXPECT_EQ(sHash, QStringLiteral("#step3"));

    QSignalSpy called(&view, &TDocumentViewBase::CallTestItem);
    view.Navigate(QStringLiteral("https://www.example.com/manual.html#>CallTestItem>Measure"));
    ASSERT_TRUE(RunUntil([&] { return called.count() > 0; }, 20000));
    EXPECT_EQ(called.first().first().toString(), QStringLiteral("Measure"));

    EXPECT_THROW(view.Navigate(QString()), std::exception);
}

// A page the window filled in stands for its file: relative links (here its style sheet) resolve
// from that file's folder.
TEST(DocumentViewTest, FilledInPageResolvesRelativeLinksFromItsAddress)
{
    const TTestDir dir;
    const QString sReady =
        dir.WriteText(QStringLiteral("Ui/Ready.html"), QStringLiteral("<p>as shipped</p>"));
    dir.WriteText(QStringLiteral("Ui/ready.css"), QStringLiteral("h1 { color: rgb(1, 2, 3); }"));
    TDocumentView view;
    view.resize(400, 300);
    view.show();
    auto* web = view.findChild<QWebEngineView*>();
    ASSERT_NE(web, nullptr);
    QSignalSpy loaded(web, &QWebEngineView::loadFinished);

    const QString sHtml = QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"ready.css\"></head>"
                                         "<body><h1>Board A</h1></body></html>");
    view.ShowPageText(sReady, sHtml);
    EXPECT_EQ(view.Page(), sReady);
    EXPECT_EQ(view.PageText(), sHtml);
    ASSERT_TRUE(RunUntil([&] { return loaded.count() > 0; }, 60000)) << "the page did not load";
    QString sColour;
    web->page()->runJavaScript(QStringLiteral("getComputedStyle(document.querySelector('h1')).color"),
                               [&](const QVariant& aResult) { sColour = aResult.toString(); });
    ASSERT_TRUE(RunUntil([&] { return !sColour.isEmpty(); }, 20000));
    EXPECT_EQ(sColour, QStringLiteral("rgb(1, 2, 3)"));

    view.ShowPage(sReady);
    EXPECT_EQ(view.PageText(), QString()) << "a page shown from its file has no filled-in text";
}

} // namespace
