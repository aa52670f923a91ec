#include "platform/HostNames.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

// Texts that are no address never reach the resolver, so this asks no one.
TEST(HostNamesTest, TextsThatAreNoAddressHaveNoName)
{
    HostNames resolver;
    for (const char* text : {"", "not an address", "1.2.3", "::ffff:", "1.2.3.4 ", "-h host", "1.2.3.4/24"})
        EXPECT_EQ(resolver.namesOfAddress(QLatin1String(text)), QStringList()) << text;
}
