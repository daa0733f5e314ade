#include "ui/DocumentLinks.h"

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
