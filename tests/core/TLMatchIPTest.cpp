#include "core/TLMatchIP.h"

#include "core/TLValidateIP.h"

#include <gtest/gtest.h>

namespace {

struct MatchCase
{
    const char* address;
    const char* network;
    bool expected;
};

std::ostream& operator<<(std::ostream& out, const MatchCase& c)
{
    return out << '"' << c.address << "\" in \"" << c.network << '"';
}

} // namespace

TEST(TLMatchIP, MatchIPTable)
{
    const MatchCase cases[] = {
        {"10.1.2.3", "10.0.0.0/8", true},
        {"11.0.0.1", "10.0.0.0/8", false},
        {"203.0.113.9", "0.0.0.0/0", true},
        {"255.255.255.255", "0.0.0.0/0", true},
        {"192.168.1.7", "192.168.1.7/32", true},
        {"192.168.1.8", "192.168.1.7/32", false},
        {"172.16.15.1", "172.16.0.0/20", true},
        {"172.16.16.1", "172.16.0.0/20", false},
        {"172.16.0.1", "172.16.0.0/12", true},
        {"172.32.0.1", "172.16.0.0/12", false},
        // Lenient length text: no leading digits reads as 0, trailing junk is dropped.
        {"8.8.8.8", "10.0.0.0/abc", true},
        {"8.8.8.8", "10.0.0.0/", true},
        {"10.0.0.200", "10.0.0.0/24abc", true},
        {"10.0.1.1", "10.0.0.0/24abc", false},
        {"10.0.1.1", "10.0.0.0/ +24", false},
        {"10.0.1.1", "10.0.0.0/-0", true},
        {"10.0.0.5", "10.0.0.0/24/7", true},
        // Classic address forms.
        {"10.1", "10.0.0.0/8", true},
        {"0x0a.1.2.3", "10.0.0.0/8", true},
        {"012.1.2.3", "10.0.0.0/8", true},
        {"10.1.2.3", "10/8", false},
        // Never a match, never a read past the mask.
        {"10.1.2.3", "10.0.0.0", false},
        {"10.1.2.3", "10.0.0.0/33", false},
        {"10.1.2.3", "10.0.0.0/-1", false},
        {"10.1.2.3", "10.0.0.0/999999", false},
        {"10.1.2.3", "10.0.0.0/99999999999999999999", false},
        {"::1", "0.0.0.0/0", false},
        {"fe80::1", "10.0.0.0/8", false},
        {"10.1.2.3", "fe80::/10", false},
        {"10.1.2.3", "::/0", false},
        {"garbage", "0.0.0.0/0", false},
        {"10.1.2.3", "garbage/0", false},
        {"1.2.3.4.5", "0.0.0.0/0", false},
        {"", "0.0.0.0/0", false},
        {"10.1.2.3", "", false},
        {"10.1.2.3", "/8", false},
        {"", "", false},
    };
    const TLMatchIP matcher;
    for (const auto& c : cases)
        EXPECT_EQ(matcher.matchIP(QString::fromUtf8(c.address), QString::fromUtf8(c.network)), c.expected)
            << c;
}

TEST(TLMatchIP, MatchIPRefusesTextWithEmbeddedNul)
{
    const TLMatchIP matcher;
    EXPECT_FALSE(matcher.matchIP(QStringLiteral("10.1.2.3") + QChar(0) + QStringLiteral("x"),
                                 QStringLiteral("10.0.0.0/8")));
}

TEST(TLMatchIP, MatchIPV6Table)
{
    const MatchCase cases[] = {
        {"fe80::1", "fe80::/10", true},
        {"febf:ffff::1", "fe80::/10", true},
        {"fec0::1", "fe80::/10", false},
        {"2001:db8::1", "2001:db8::1", true},
        {"2001:db8::2", "2001:db8::1", false},
        {"2001:db8::1", "2001:db8::1/128", true},
        {"2001:db8::2", "2001:db8::1/128", false},
        {"::1", "::/0", true},
        {"ffff::ffff", "::/0", true},
        {"2001:db8:0:0:8000::1", "2001:db8::/64", true},
        // /65 reaches one bit into the third word.
        {"2001:db8:0:0:7fff::1", "2001:db8::/65", true},
        {"2001:db8:0:0:8000::1", "2001:db8::/65", false},
        {"2001:db8:0:1::1", "2001:db8::/65", false},
        {"::ffff:10.1.2.3", "::ffff:10.0.0.0/104", true},
        {"::ffff:11.1.2.3", "::ffff:10.0.0.0/104", false},
        {"2001:DB8::1", "2001:db8::/32", true},
        // Unparsable texts never match, even against ::/0.
        {"garbage", "::/0", false},
        {"", "::/0", false},
        {"10.1.2.3", "::/0", false},
        {"fe80::1", "garbage/10", false},
        {"fe80::1", "fe80::/129", false},
        {"fe80::1", "fe80::/", false},
        {"fe80::1", "fe80::/010", false},
        {"fe80::1", "fe80::/1x", false},
        {"fe80::1", "fe80::/10/10", false},
        {"fe80::1", "10.0.0.0/8", false},
        {"fe80::1", "", false},
    };
    const TLMatchIP matcher;
    for (const auto& c : cases)
        EXPECT_EQ(matcher.matchIPV6(QString::fromUtf8(c.address), QString::fromUtf8(c.network)), c.expected)
            << c;
}

TEST(TLMatchIP, ValidateCidrTables)
{
    const TLMatchIP matcher;
    const std::pair<const char*, bool> v6[] = {
        {"fe80::/10", true},
        {"::/0", true},
        {"2001:db8::1", true},
        {"::1/128", true},
        {"::ffff:1.2.3.4/96", true},
        {"fe80::/129", false},
        {"fe80::/01", false},
        {"fe80::/", false},
        {"fe80::/-1", false},
        {"fe80::/ 10", false},
        {"10.0.0.0/8", false},
        {"fe80:::1", false},
        {"", false},
        {"/64", false},
    };
    for (const auto& [text, expected] : v6)
        EXPECT_EQ(matcher.validateIPV6cidr(QString::fromUtf8(text)), expected) << text;

    const std::pair<const char*, bool> v4[] = {
        {"10.0.0.0/8", true}, {"192.168.0.0/16", true}, {"10.0.0.0/33", false},
        {"fe80::/10", false}, {"garbage", false},       {"", false},
    };
    for (const auto& [text, expected] : v4)
        EXPECT_EQ(matcher.validateIPV4cidr(QString::fromUtf8(text)), expected) << text;
}

TEST(TLValidateIP, IsValidIpAddressTable)
{
    const std::pair<const char*, bool> cases[] = {
        {"192.168.1.1", true},     {"0.0.0.0", true},
        {"255.255.255.255", true}, {"::1", true},
        {"fe80::1:2", true},       {"::ffff:10.0.0.1", true},
        {"192.168.1", false},      {"192.168.1.256", false},
        {"10.1", false},           {"0x0a.1.2.3", false},
        {"10.0.0.0/8", false},     {"fe80::/10", false},
        {"garbage", false},        {"", false},
    };
    const TLValidateIP validator;
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(validator.isValidIpAddress(QString::fromUtf8(text)), expected) << text;
    EXPECT_FALSE(validator.isValidIpAddress(QStringLiteral("10.0.0.1") + QChar(0)));
}
