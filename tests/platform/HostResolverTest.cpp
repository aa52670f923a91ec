#include "platform/HostResolver.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// Numeric texts are read by the system's look-up itself, without asking any
// resolver, yet come back once per socket type; a match wants each once.
TEST(HostResolverTest, SystemLookUpGivesEachAddressOnceAsText)
{
    HostResolver resolver;
    EXPECT_EQ(resolver.addressesOfHost(QStringLiteral("127.0.0.1")), QStringList{"127.0.0.1"});
    EXPECT_EQ(resolver.addressesOfHost(QStringLiteral("::1")), QStringList{"::1"});
    EXPECT_EQ(resolver.addressesOfHost(QStringLiteral("2001:DB8:0:0::1")), QStringList{"2001:db8::1"});
}

TEST(HostResolverTest, TextsNoLookUpCanTakeHaveNoAddress)
{
    HostResolver resolver;
    // Looked up, the part before the NUL would answer for the whole text.
    EXPECT_TRUE(resolver.addressesOfHost(QString::fromUtf8("127.0.0.1\0.example.org", 23)).isEmpty());
    EXPECT_TRUE(resolver.addressesOfHost(QString()).isEmpty());
}

} // namespace
