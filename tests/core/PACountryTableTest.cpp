#include "core/PACountryTable.h"

#include "core/PAFlagsController.h"
#include "core/TLMatchIP.h"
#include "platform/Resources.h"
#include "support/CapturedLog.h"
#include "support/QtPrinters.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using PACountryTable::Zone;
using PACountryTable::Zones;

const QString kSibling = QString::fromLatin1(PAFlagsController::kSiblingZonesFolder);

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// The table as code -> lines, in table order, for readable failures.
std::vector<std::pair<QString, QStringList>> tableOf(const Zones& zones)
{
    std::vector<std::pair<QString, QStringList>> out;
    for (const Zone& zone : zones)
        out.emplace_back(zone.code, zone.lines);
    return out;
}

// A root of the test's own for the sibling's folder, a resources folder of
// its own for ours, and an empty table afterwards.
class CountryZones : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid() && m_resources.isValid());
        m_rootVariable =
            std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toLocal8Bit());
        m_oldResources = Resources::resourcesPath();
        Resources::setResourcesPath(m_resources.path());
    }
    void TearDown() override
    {
        Resources::setResourcesPath(m_oldResources);
        PACountryTable::setCountryZones({});
    }

    QString sibling(const QString& relative = {}) const
    {
        return m_root.path() + kSibling + (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
    }
    QString ours(const QString& relative = {}) const
    {
        return m_resources.path() + QStringLiteral("/aggregated") +
               (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
    }

    // Loads as the composition root does; gives the folder walked.
    QString load()
    {
        PAFlagsController flags;
        flags.makeDict();
        return flags.thePath();
    }

    QTemporaryDir m_root;
    QTemporaryDir m_resources;
    std::unique_ptr<ScopedEnvironmentVariable> m_rootVariable;
    QString m_oldResources;
};

} // namespace

TEST_F(CountryZones, FileNamesGiveCodesAndContentGivesLines)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<QString, QByteArray>> files; // relative path -> content
        std::vector<std::pair<QString, QStringList>> expected;
    };
    const QStringList itLines{QStringLiteral("2.32.0.0/11"), QString()};
    const Case cases[] = {
        {"a final line feed gives a final empty line",
         {{QStringLiteral("it-aggregated.zone"), "2.32.0.0/11\n"}},
         {{QStringLiteral("it"), itLines}}},
        {"the code is the text before the first dash; other names are skipped",
         {{QStringLiteral("x-y-aggregated.zone"), "1.0.0.0/8"},
          {QStringLiteral("readme.txt"), "1.0.0.0/8"},
          {QStringLiteral("it-aggregated.zone.bak"), "1.0.0.0/8"},
          {QStringLiteral("it-Aggregated.zone"), "1.0.0.0/8"}},
         {{QStringLiteral("x"), {QStringLiteral("1.0.0.0/8")}}}},
        {"a later file of the same code replaces the earlier one in its place",
         {{QStringLiteral("aa-aggregated.zone"), "1.0.0.0/8"},
          {QStringLiteral("bb-aggregated.zone"), "2.0.0.0/8"},
          {QStringLiteral("aa-z-aggregated.zone"), "3.0.0.0/8"}},
         {{QStringLiteral("aa"), {QStringLiteral("3.0.0.0/8")}},
          {QStringLiteral("bb"), {QStringLiteral("2.0.0.0/8")}}}},
        {"a file that is not UTF-8 text, and a folder of a zone's name, enter one empty line",
         {{QStringLiteral("de-aggregated.zone"), QByteArray("1.0.0.0/8\n\xff\xfe", 12)},
          {QStringLiteral("fr-aggregated.zone/readme"), "x"}},
         {{QStringLiteral("de"), {QString()}}, {QStringLiteral("fr"), {QString()}}}},
        {"files in folders below count, the folder in the code",
         {{QStringLiteral("nested/pt-aggregated.zone"), "5.0.0.0/8\n"}},
         {{QStringLiteral("nested/pt"), {QStringLiteral("5.0.0.0/8"), QString()}}}},
        {"an empty file is one empty line",
         {{QStringLiteral("va-aggregated.zone"), ""}},
         {{QStringLiteral("va"), {QString()}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(sibling()).removeRecursively();
        QDir().mkpath(sibling());
        for (const auto& [relative, content] : c.files)
            writeFile(sibling(relative), content);
        EXPECT_EQ(load(), sibling());
        EXPECT_EQ(tableOf(PACountryTable::countryZones()), c.expected);
    }
}

TEST_F(CountryZones, SiblingFolderFirstOursOnlyWhenItIsMissing)
{
    writeFile(ours(QStringLiteral("us-aggregated.zone")), "8.0.0.0/8\n");
    const TLMatchIP matcher;

    // No sibling folder: ours, and thePath names it.
    EXPECT_EQ(load(), ours());
    EXPECT_EQ(PACountryTable::findCountryOfAddress(QStringLiteral("8.8.8.8"), matcher), QStringLiteral("us"));

    // The sibling's folder exists but holds no zone: nothing, ours unread.
    QDir().mkpath(sibling());
    writeFile(sibling(QStringLiteral("notes.txt")), "8.0.0.0/8\n");
    EXPECT_EQ(load(), sibling());
    EXPECT_FALSE(PACountryTable::hasZones());
    EXPECT_EQ(PACountryTable::findCountryOfAddress(QStringLiteral("8.8.8.8"), matcher), std::nullopt);

    // A file where the folder should be counts as the folder being there.
    QDir(sibling()).removeRecursively();
    writeFile(sibling(), "8.0.0.0/8\n");
    EXPECT_EQ(load(), sibling());
    EXPECT_FALSE(PACountryTable::hasZones());

    // Neither folder: nothing.
    QFile::remove(sibling());
    QDir(ours()).removeRecursively();
    load();
    EXPECT_FALSE(PACountryTable::hasZones());
}

// What a damaged or planted folder may hold must end in a logged line and an
// empty zone, never a hang, a crash or memory beyond the bounds.
TEST_F(CountryZones, HostileFilesAreBoundedAndLogged)
{
    QDir().mkpath(sibling());
    writeFile(sibling(QStringLiteral("ok-aggregated.zone")), "9.0.0.0/8\n");
    // A FIFO would block a plain open until a writer came.
    ASSERT_EQ(mkfifo(QFile::encodeName(sibling(QStringLiteral("ff-aggregated.zone"))).constData(), 0600), 0);
    // Larger than allowed, without writing it: a sparse file.
    writeFile(sibling(QStringLiteral("hg-aggregated.zone")), "");
    ASSERT_EQ(truncate(QFile::encodeName(sibling(QStringLiteral("hg-aggregated.zone"))).constData(),
                       PAFlagsController::kMaxZoneFileBytes + 1),
              0);
    // Small in bytes, yet more lines than the whole table may hold.
    writeFile(sibling(QStringLiteral("ln-aggregated.zone")),
              QByteArray(qsizetype(PAFlagsController::kMaxZoneLines), '\n'));
    // A name that would write a line of its own into the log.
    writeFile(sibling(QStringLiteral("cr\nforged-aggregated.zone")), "\xff");
    // A link back up the tree is not followed.
    ASSERT_TRUE(QFile::link(sibling(), sibling(QStringLiteral("loop"))));

    CapturedLog log;
    load();
    EXPECT_EQ(tableOf(PACountryTable::countryZones()),
              (std::vector<std::pair<QString, QStringList>>{
                  {QStringLiteral("cr\nforged"), {QString()}},
                  {QStringLiteral("ff"), {QString()}},
                  {QStringLiteral("hg"), {QString()}},
                  {QStringLiteral("ln"), {QString()}},
                  {QStringLiteral("ok"), {QStringLiteral("9.0.0.0/8"), QString()}}}));
    EXPECT_EQ(log.count(QStringLiteral("cannot read")), 1) << log.messages().join(u'\n').toStdString();
    EXPECT_EQ(log.count(QStringLiteral("is larger than")), 1);
    EXPECT_EQ(log.count(QStringLiteral("past 1000000 lines")), 1);
    EXPECT_EQ(log.count(QStringLiteral("cr?forged-aggregated.zone is not UTF-8")), 1);
    for (const QString& message : log.messages())
        EXPECT_FALSE(message.contains(u'\n')) << message.toStdString();
}

TEST(CountryTable, FirstMatchingLineInTableOrderWins)
{
    const TLMatchIP matcher;
    const Zones zones{
        {QStringLiteral("aa"), {QString(), QStringLiteral("junk"), QStringLiteral("10.0.0.0/8")}},
        {QStringLiteral("bb"), {QStringLiteral("10.1.0.0/16"), QStringLiteral("20.0.0.0/8")}}};
    PACountryTable::setCountryZones(zones);
    EXPECT_TRUE(PACountryTable::hasZones());
    EXPECT_EQ(PACountryTable::findCountryOfAddress(QStringLiteral("10.1.2.3"), matcher),
              QStringLiteral("aa"));
    EXPECT_EQ(PACountryTable::findCountryOfAddress(QStringLiteral("20.1.2.3"), matcher),
              QStringLiteral("bb"));
    for (const char* none : {"30.1.2.3", "2001:db8::1", "::ffff:10.1.2.3", "", "garbage"})
        EXPECT_EQ(PACountryTable::findCountryOfAddress(QString::fromLatin1(none), matcher), std::nullopt)
            << none;
    // The countries' order decides, not the narrower network.
    PACountryTable::setCountryZones({zones.at(1), zones.at(0)});
    EXPECT_EQ(PACountryTable::findCountryOfAddress(QStringLiteral("10.1.2.3"), matcher),
              QStringLiteral("bb"));
    PACountryTable::setCountryZones({});
    EXPECT_FALSE(PACountryTable::hasZones());
}

// The search reads each line once when the table is set; whatever it reads
// must be what the matcher says of the same line.
TEST(CountryTable, SearchAgreesWithTheMatcherLineByLine)
{
    const TLMatchIP matcher;
    const char* lines[] = {
        "10.0.0.0/8",   "10.0.0.0/24abc", "10.0.0.0/",   "10.0.0.0/-0",  "10.0.0.0/33",
        "10/8",         "10.0.0.0",       "0.0.0.0/0",   "0x0a.0.0.0/8", "10.0.0.0/24/7",
        "fe80::/10",    " 10.0.0.0/8",    "10.0.0.0/ 8", "1.2.3.4/32",   "10.0.0.0/99999999999",
        "010.0.0.0/8",  "10.0.0.00/24",   "1.2.3.4/032", "256.0.0.0/8",  "10.0.0.0/08",
        "10.0.0.0/8\r", "10.0.0.0/8 ",    "1.2.3.4/3 2", "10.0.0.0//8",  "1.2.3.4.5/32"};
    const char* addresses[] = {"10.0.0.5", "10.0.1.5", "10.1", "012.0.0.1", "1.2.3.4", "8.8.8.8", "fe80::1"};
    for (const char* line : lines) {
        PACountryTable::setCountryZones({{QStringLiteral("xx"), {QString::fromLatin1(line)}}});
        for (const char* address : addresses) {
            const bool matches = matcher.matchIP(QString::fromLatin1(address), QString::fromLatin1(line));
            EXPECT_EQ(PACountryTable::findCountryOfAddress(QString::fromLatin1(address), matcher).has_value(),
                      matches)
                << address << " in " << line;
        }
    }
    PACountryTable::setCountryZones({});
}

TEST(CountryTable, NamesHaveEveryCodeInPlainEnglish)
{
    const auto& names = PACountryTable::countryNames();
    EXPECT_EQ(names.size(), 252);
    const QRegularExpression code(QStringLiteral("^[A-Z]{2}$"));
    const QRegularExpression plain(QStringLiteral("^[A-Za-z]+([ -][A-Za-z]+)*$"));
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        EXPECT_TRUE(code.match(it.key()).hasMatch()) << it.key().toStdString();
        EXPECT_TRUE(plain.match(it.value()).hasMatch())
            << it.key().toStdString() << " " << it.value().toStdString();
    }
    const std::pair<const char*, const char*> rows[] = {
        {"ZZ", "Unknown"},   {"AP", "Asia Pacific"},  {"EU", "European Union"}, {"IT", "Italy"},
        {"it", "Italy"},     {"CI", "Cote d Ivoire"}, {"TL", "Timor-Leste"},    {"GB", "United Kingdom"},
        {"KP", "Korea DPR"}, {"KR", "Korea"},         {"CD", "Congo DPR"},      {"SX", "Sint Maarten NL"},
    };
    for (const auto& [key, name] : rows)
        EXPECT_EQ(PACountryTable::countryName(QString::fromLatin1(key)), QString::fromLatin1(name)) << key;
    for (const char* missing : {"XK", "A1", "", "ITA", "sub/it"})
        EXPECT_EQ(PACountryTable::countryName(QString::fromLatin1(missing)), std::nullopt) << missing;
}

TEST(CountryTable, FlagsByCodeFromTheFirstFolderThatHasOne)
{
    QTemporaryDir svg;
    QTemporaryDir png;
    writeFile(svg.path() + QStringLiteral("/it.svg"), "<svg/>");
    writeFile(png.path() + QStringLiteral("/it.png"), "png");
    writeFile(png.path() + QStringLiteral("/de.png"), "png");
    // Something outside the folders that a crafted code could name.
    writeFile(svg.path() + QStringLiteral("/../outside.svg"), "<svg/>");
    const QStringList previous = PACountryTable::flagFolders();
    PACountryTable::setFlagFolders({svg.path(), png.path()});

    const std::pair<const char*, QString> cases[] = {
        {"it", svg.path() + QStringLiteral("/it.svg")},
        {"IT", svg.path() + QStringLiteral("/it.svg")},
        {"de", png.path() + QStringLiteral("/de.png")},
        {"fr", QString()},
        {"", QString()},
        {"../outside", QString()},
        {"sub/it", QString()},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(PACountryTable::flagImagePath(QString::fromLatin1(code)), expected) << code;

    PACountryTable::setFlagFolders(previous);
    QFile::remove(svg.path() + QStringLiteral("/../outside.svg"));
}
