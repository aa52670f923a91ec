#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/SharedState.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Icons made from the same file are separate objects; compare what they show.
QImage pictureOf(const QIcon& icon)
{
    return icon.pixmap(QSize(32, 32)).toImage();
}

QImage lockPicture(const char* name)
{
    return pictureOf(Resources::systemImage(QString::fromLatin1(name)));
}

TEST(RuleRecordsTest, ManagedFolderShowsEveryNonZeroRuleAsBlock)
{
    const QImage locked = lockPicture("NSLockLockedTemplate");
    const QImage unlocked = lockPicture("NSLockUnlockedTemplate");
    ASSERT_FALSE(locked.isNull());
    ASSERT_FALSE(unlocked.isNull());
    ASSERT_NE(locked, unlocked);

    struct Case
    {
        qint64 rule;
        bool hardcoded;
        bool block;
    };
    const Case cases[] = {{0, false, false}, {1, false, true}, {2, false, true},
                          {-1, false, true}, {0, true, false}, {1, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rule " << c.rule << " hardcoded " << c.hardcoded);
        PAExclusion folder(QStringLiteral("/usr/bin/whois"), c.rule, true, c.hardcoded);
        const QColor ruleColour = c.block ? SystemColors::red() : SystemColors::controlTextColor();

        EXPECT_EQ(folder.ruleImage().cacheKey(), (c.block ? blockedUpImage() : passedUpImage()).cacheKey());
        EXPECT_EQ(pictureOf(folder.buttonImage()), c.block ? locked : unlocked);
        // A built-in rule is grey until the rule colours are applied again.
        EXPECT_EQ(folder.labelColor(), c.hardcoded ? SystemColors::grey() : ruleColour);
        EXPECT_TRUE(folder.ignoreImage().isNull());
        EXPECT_FALSE(folder.isSelected());

        folder.setRuleIcon();
        EXPECT_EQ(folder.labelColor(), ruleColour);
    }
}

TEST(RuleRecordsTest, GlobalRuleImageAndColourFollowOnlyPassAndBlock)
{
    PAManagedRecords pass(QStringLiteral("10.0.0.1"), PAManagedRecords::Address, 0);
    EXPECT_EQ(pass.image().cacheKey(), passedUpImage().cacheKey());
    EXPECT_EQ(pass.labelColor(), SystemColors::controlTextColor());

    PAManagedRecords block(QStringLiteral("10.0.0.1"), PAManagedRecords::Address, 1);
    EXPECT_EQ(block.image().cacheKey(), blockedUpImage().cacheKey());
    EXPECT_EQ(block.labelColor(), SystemColors::red());

    // Any other rule keeps what was there: the placeholders when new...
    PAManagedRecords odd(QStringLiteral("10.0.0.1"), PAManagedRecords::Address, 2);
    EXPECT_TRUE(odd.image().isNull());
    EXPECT_FALSE(odd.labelColor().isValid());

    // ...and the previous image and colour later.
    block.setRule(2);
    block.setRuleIcon();
    EXPECT_EQ(block.image().cacheKey(), blockedUpImage().cacheKey());
    EXPECT_EQ(block.labelColor(), SystemColors::red());
}

TEST(RuleRecordsTest, GlobalRuleTypeIcon)
{
    struct Case
    {
        qint64 type;
        const char* image;
    };
    const Case cases[] = {{1, "icon_subnet"},    {16, "icon_subnet"}, {2, "icon_port"},
                          {3, "icon_portrange"}, {0, "icon_ip"},      {99, "icon_ip"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        PAManagedRecords record(QStringLiteral("x"), c.type, 0);
        const QImage expected = pictureOf(Resources::image(QString::fromLatin1(c.image)));
        ASSERT_FALSE(expected.isNull());
        EXPECT_EQ(pictureOf(record.icon()), expected);
    }
}

} // namespace
