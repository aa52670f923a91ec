#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

// The one stored form of the configuration (configurationRecordArray) and its
// keyed-archive wrapper (configurationWrapper): building them from the model,
// and reading a file's content back into checked records before anything of
// the running model is replaced.
class PAConfigurationRecords
{
public:
    struct AppRecord
    {
        QString appName;
        QString appPath;
        QStringList appBinaries;
        bool appIsBundle = false;
        qint64 appIsBlockedOrAllowed = 0;
        QStringList appMatches;
    };
    struct ExclusionRecord
    {
        QString path;
        qint64 rule = 0;
        bool ignored = false;
        bool hardcoded = false;
    };
    struct ManagedRecord
    {
        QString record;
        qint64 type = 0;
        qint64 rule = 0;
    };
    // A record of a kind this agent does not read (a newer writer's), kept as
    // it was read with its index in the file's record array, so that it goes
    // back where it was.
    struct UnreadRecord
    {
        QVariantMap record;
        qsizetype index = 0;
    };
    // The records of one configuration, by kind, each kind in file order.
    struct Configuration
    {
        std::vector<AppRecord> apps;
        std::vector<QVariantMap> preferences;
        std::vector<ExclusionRecord> exclusions;
        std::vector<ManagedRecord> records;
        std::vector<UnreadRecord> unread;
    };

    // No honest configuration comes near this many records (a hundred
    // thousand apps is already far more than anyone manages by hand); a
    // count past it is a damaged file, refused before any record is read.
    static constexpr uint64_t kMaxRecords = 1'000'000;
    // Every text of a record is a path, or a rule no longer than one: a text
    // longer than a path can be (counted in UTF-16 units, never more than a
    // path's bytes) is a damaged file, refused before anything is built
    // from it.
    static constexpr qsizetype kMaxTextLength = PATH_MAX;
    static bool checkRecordCount(uint64_t count, QString* error = nullptr);

    // configurationRecordArray from the shared lists and the preference
    // globals: the preferences, then the Managed Folders that are not built
    // in, the Global Rules, and the managed apps without a running temporary
    // rule; the loaded records of unread kinds go back at their indexes
    // (past the end, at the end).
    static QVariantList recordArray();
    static QVariantMap preferencesRecord();
    // configurationWrapper: the keyed archive of the array, with the version.
    static QVariantMap wrapper(const QVariantList& recordArray);

    // A file's property-list content: a plain record array, or an array
    // holding exactly one wrapper. nullopt, with a reason, when anything in
    // it is malformed, or when it holds no record of a kind the agent reads
    // (the agent's own files always hold the preferences).
    static std::optional<Configuration> parse(const QVariant& content, QString* error = nullptr);
    static std::optional<Configuration> parseData(const QByteArray& data, QString* error = nullptr);

    // Values as the stored forms carry them: a Bool may come as the integer
    // 0 or 1, an Int as a boolean or a whole real, a Double as an integer.
    static std::optional<bool> boolValue(const QVariant& value);
    static std::optional<qint64> intValue(const QVariant& value);
    static std::optional<double> doubleValue(const QVariant& value);
    static std::optional<QString> stringValue(const QVariant& value);
    static std::optional<QStringList> stringListValue(const QVariant& value);
};
