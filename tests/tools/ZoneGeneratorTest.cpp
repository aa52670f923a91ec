#include "ZoneAggregator.h"
#include "core/PACountryTable.h"
#include "core/PAFlagsController.h"
#include "core/TLMatchIP.h"
#include "platform/Resources.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

uint32_t ip(int a, int b, int c, int d)
{
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | uint32_t(d);
}

} // namespace

TEST(ZoneAggregator, RangesBecomeTheFewestCidrBlocks)
{
    struct Case
    {
        uint32_t first;
        uint32_t last;
        Lines expected;
    };
    const Case cases[] = {
        {ip(10, 0, 0, 0), ip(10, 255, 255, 255), {"10.0.0.0/8"}},
        {ip(1, 2, 3, 4), ip(1, 2, 3, 4), {"1.2.3.4/32"}},
        {ip(10, 0, 0, 1), ip(10, 0, 0, 6), {"10.0.0.1/32", "10.0.0.2/31", "10.0.0.4/31", "10.0.0.6/32"}},
        {ip(192, 168, 0, 0), ip(192, 168, 2, 255), {"192.168.0.0/23", "192.168.2.0/24"}},
        {0, 0xffffffffu, {"0.0.0.0/0"}},
        {0xffffffffu, 0xffffffffu, {"255.255.255.255/32"}},
        {ip(255, 255, 255, 254), 0xffffffffu, {"255.255.255.254/31"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZoneAggregator::cidrBlocks(c.first, c.last), c.expected) << c.first << ".." << c.last;
}

// A small database: what the walk asks and what it writes.
TEST(ZoneAggregator, WalkMergesNeighboursOfOneCountryAndDropsNonCountries)
{
    struct Network
    {
        uint32_t first;
        int length;
        std::string code;
    };
    // Everything not listed: no country, in /8 steps.
    const std::vector<Network> database = {
        {ip(2, 32, 0, 0), 12, "IT"}, {ip(2, 48, 0, 0), 12, "IT"}, // neighbours: one /11
        {ip(5, 0, 0, 0), 9, "DE"},   {ip(5, 128, 0, 0), 9, "A1"}, // an anonymous proxy: no file
        {ip(6, 0, 0, 0), 8, "de"},                                // not next to DE's: its own line
        {ip(8, 8, 8, 0), 24, "US"},
    };
    int asked = 0;
    ZoneAggregator aggregator;
    aggregator.walkAddressSpace([&](uint32_t address) {
        ++asked;
        for (const Network& n : database) {
            const uint32_t mask = n.length == 0 ? 0 : ~uint32_t{0} << (32 - n.length);
            if ((address & mask) == n.first)
                return ZoneAggregator::Answer{n.code, n.length};
        }
        // The unlisted parts of 2/8 and 8/8 in blocks that leave the listed
        // networks whole.
        if ((address >> 24) == 2 || (address >> 24) == 8)
            return ZoneAggregator::Answer{"--", 24};
        return ZoneAggregator::Answer{"", 8};
    });
    const std::map<std::string, Lines> expected = {
        {"de", {"5.0.0.0/9", "6.0.0.0/8"}},
        {"it", {"2.32.0.0/11"}},
        {"us", {"8.8.8.0/24"}},
    };
    EXPECT_EQ(aggregator.zones(), expected);
    // Once per network, not per address.
    EXPECT_LT(asked, 2 * 65536 + 256);
}

TEST(ZoneAggregator, DatabaseAnswersOutOfRangeStillEndTheWalk)
{
    for (const int length : {-5, 0, 33, 1000}) {
        int asked = 0;
        ZoneAggregator aggregator;
        aggregator.walkAddressSpace([&](uint32_t) {
            // A length past 32 moves one address at a time: stop the test's
            // walk early by answering /0 after a few.
            return ZoneAggregator::Answer{"ZZ", ++asked > 4 ? 0 : length};
        });
        EXPECT_LE(asked, 5) << length;
        EXPECT_FALSE(aggregator.zones().at("zz").empty()) << length;
    }
}

#if defined(PALISOR_ZONEGEN_PATH) && defined(PALISOR_GEOIP_DATABASE)
// The build's own tool on the machine's database: well-known addresses land
// in their countries when the agent loads what it wrote.
TEST(ZoneGenerator, RealDatabasePlacesWellKnownAddresses)
{
    if (!QFileInfo::exists(QStringLiteral(PALISOR_GEOIP_DATABASE)))
        GTEST_SKIP() << "no " PALISOR_GEOIP_DATABASE;
    QTemporaryDir root;
    QTemporaryDir resources;
    const QString zones = resources.path() + QStringLiteral("/aggregated");
    QProcess tool;
    tool.start(QStringLiteral(PALISOR_ZONEGEN_PATH), {QStringLiteral(PALISOR_GEOIP_DATABASE), zones});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo::exists(zones + QStringLiteral("/us-aggregated.zone")));

    ScopedEnvironmentVariable rootVariable("PALISOR_ROOT", root.path().toLocal8Bit());
    const QString oldResources = Resources::resourcesPath();
    Resources::setResourcesPath(resources.path());
    PAFlagsController flags;
    flags.makeDict();
    Resources::setResourcesPath(oldResources);

    const TLMatchIP matcher;
    const std::pair<const char*, const char*> cases[] = {
        {"8.8.8.8", "us"},       // a public resolver in the United States
        {"193.0.6.139", "nl"},   // the European registry's own site
        {"202.12.29.205", "au"}, // the Asia-Pacific registry's
        {"200.3.14.10", "uy"},   // the Latin American registry's
        {"10.1.2.3", nullptr},   // private: no country
        {"127.0.0.1", nullptr},
    };
    for (const auto& [address, code] : cases) {
        const auto found = PACountryTable::findCountryOfAddress(QString::fromLatin1(address), matcher);
        if (code)
            EXPECT_EQ(found, QString::fromLatin1(code)) << address;
        else
            EXPECT_EQ(found, std::nullopt) << address;
    }
    PACountryTable::setCountryZones({});
}
#endif
