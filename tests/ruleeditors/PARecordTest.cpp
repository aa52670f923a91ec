#include "ruleeditors/PARecord.h"

#include <gtest/gtest.h>

namespace {

// address, type, prefix, match: what a row shows and stands for.
QStringList describe(const PARecord::List& rows)
{
    QStringList out;
    for (const auto& row : rows)
        out << row->recordAddress + QLatin1Char(' ') + row->recordType + QLatin1Char(' ') +
                   row->recordPrefix + QLatin1Char(' ') + row->recordImageName + QLatin1Char(' ') +
                   row->recordMatch;
    return out;
}

TEST(PARecordTest, RowsGoBlockedBeforePassedKindByKindThenEveryone)
{
    const PARecord::List rows = PARecord::buildRecordTables(
        {"@10.0.0.1", "#10.0.0.2", "#443", "@_range1000:2000", "@10.0.0.0/8", "#fe80::1", "@80"}, 2, true);
    EXPECT_EQ(describe(rows), (QStringList{
                                  "10.0.0.2 address # icon_ip #10.0.0.2",
                                  "fe80::1 address # icon_ip #fe80::1",
                                  "10.0.0.1 address @ icon_ip @10.0.0.1",
                                  "10.0.0.0/8 subnet @ icon_subnet @10.0.0.0/8",
                                  "443 port # icon_port #443",
                                  "80 port @ icon_port @80",
                                  "1000:2000 range @ icon_portrange @_range1000:2000",
                                  "Everyone Everyone @ grp_everyone ",
                              }));
    for (const auto& row : rows) {
        EXPECT_EQ(row->recordLabel, row->recordAddress);
        EXPECT_EQ(row->recordRule, 0) << "no operation sets it";
    }
}

TEST(PARecordTest, EveryoneFollowsTheStateAndIsDisabledWhileAlertsAreOff)
{
    const struct
    {
        qint64 state;
        const char* everyone; // prefix of the row, or nullptr for none
    } cases[] = {{0, "@"}, {1, "#"}, {2, "@"}, {3, "#"}, {4, nullptr}, {5, nullptr}, {-1, nullptr}};
    for (const auto& c : cases) {
        for (bool alerts : {true, false}) {
            const PARecord::List rows = PARecord::buildRecordTables({"#1.1.1.1"}, c.state, alerts);
            SCOPED_TRACE(testing::Message()
                         << "state " << c.state << (alerts ? " alerts on" : " alerts off"));
            ASSERT_EQ(rows.size(), c.everyone ? 2u : 1u);
            EXPECT_TRUE(rows.front()->recordIsEnabled) << "only Everyone is ever disabled";
            if (!c.everyone)
                continue;
            const PARecord& everyone = *rows.back();
            EXPECT_TRUE(everyone.isEveryone());
            EXPECT_EQ(everyone.recordPrefix, QLatin1String(c.everyone));
            EXPECT_EQ(everyone.recordIsEnabled, alerts);
            EXPECT_TRUE(everyone.recordMatch.isEmpty());
        }
    }
}

TEST(PARecordTest, EachRowKeepsItsMatchExactlyWhateverItShows)
{
    // Texts read from files may hold markers anywhere; a match without a
    // prefix gives no row at all.
    const PARecord::List rows =
        PARecord::buildRecordTables({"80", "@a@b#c", "#_range_range1:2", "@", "#8#0", ""}, 4, true);
    EXPECT_EQ(describe(rows), (QStringList{
                                  "abc address @ icon_ip @a@b#c",
                                  " address @ icon_ip @",
                                  "80 port # icon_port #8#0",
                                  "1:2 range # icon_portrange #_range_range1:2",
                              }));
}

} // namespace
