#include "ui/DocumentLinks.h"

#include "TestEnvironment.h"

#include <QUrl>

#include <gtest/gtest.h>

TEST(DocumentLinksTest, MarkersAreReadFromTheDecodedAddress)
{
    struct TCase
    {
        QString sAddress;
        TLinkKind eKind;
        QString sArgument;
    };
    const TCase cases[] = {
        {QStringLiteral("file:///doc/manual.html#>CallTestItem>Supply check"), TLinkKind::CallTestItem,
         QStringLiteral("Supply check")},
        {QStringLiteral("file:///doc/manual.html#%3ECallTestItem%3ESupply%20check"), TLinkKind::CallTestItem,
         QStringLiteral("Supply check")},
        {QStringLiteral("file:///q.html?%3EInitDefineValues%3EVARIANT=2"), TLinkKind::DefineValues,
         QStringLiteral("VARIANT=2")},
        {QStringLiteral("file:///q.html#>InitDefineValues>"), TLinkKind::DefineValues,
         QStringLiteral("Exit")},
        {QStringLiteral("https://www.example.com/page.html"), TLinkKind::Navigate, QString()},
        // The call marker wins when both appear.
        {QStringLiteral("x>CallTestItem>A>InitDefineValues>B"), TLinkKind::CallTestItem,
         QStringLiteral("A>InitDefineValues>B")},
        // Case matters: this is an ordinary link.
        {QStringLiteral("x>calltestitem>A"), TLinkKind::Navigate, QString()},
    };
    for (const TCase& c : cases) {
        const TLinkAction action = ClassifyNavigation(c.sAddress);
        EXPECT_EQ(action.eKind, c.eKind) << c.sAddress.toStdString();
        EXPECT_EQ(action.sArgument, c.sArgument) << c.sAddress.toStdString();
    }
}

TEST(DocumentLinksTest, NavigationTargetsBecomeAddresses)
{
    const TTestDir dir;
    const QString sManual = dir.WriteText(QStringLiteral("manual.html"), QStringLiteral("<p>1</p>"));
    const QString sHashed = dir.WriteText(QStringLiteral("a#b.html"), QStringLiteral("<p>2</p>"));
    const QUrl current = QUrl::fromLocalFile(sManual);
    struct TCase
    {
        QString sTarget;
        QUrl url;
    };
    QUrl anchored = QUrl::fromLocalFile(sManual);
    anchored.setFragment(QStringLiteral("step3"));
    QUrl otherAnchor = current;
    otherAnchor.setFragment(QStringLiteral("intro"));
    QUrl bareAnchor;
    bareAnchor.setFragment(QStringLiteral("intro"));
    const TCase cases[] = {
        {sManual, QUrl::fromLocalFile(sManual)},
        {sManual + QStringLiteral("#step3"), anchored},
        // A "#" in a file's name is part of the name.
        {sHashed, QUrl::fromLocalFile(sHashed)},
        {QStringLiteral("#intro"), otherAnchor},
        {QStringLiteral("https://www.example.com/manual.html#step3"),
         QUrl(QStringLiteral("https://www.example.com/manual.html#step3"))},
        {QStringLiteral("about:blank"), QUrl(QStringLiteral("about:blank"))},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DocumentUrl(c.sTarget, current), c.url) << c.sTarget.toStdString();
    // Before anything is shown the bare anchor stays an anchor; an empty target is refused.
    EXPECT_EQ(DocumentUrl(QStringLiteral("#intro"), QUrl()), bareAnchor);
    EXPECT_FALSE(DocumentUrl(QStringLiteral("  "), current).isValid());
}
