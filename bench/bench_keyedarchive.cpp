#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"

#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <benchmark/benchmark.h>

namespace {

constexpr int applicationCount = 10000;
constexpr int globalRuleCount = 1000;
constexpr int managedFolderCount = 200;

// A large but plausible configuration: the record array the agent keeps,
// with the matches that make up most of a real file.
QVariantList configuration()
{
    QVariantList records;
    records.reserve(applicationCount + globalRuleCount + managedFolderCount + 1);
    for (int i = 0; i < applicationCount; ++i) {
        const QString path = QStringLiteral("/Applications/Application %1.app").arg(i);
        QVariantList matches;
        for (int m = 0; m < 10; ++m) {
            if (m % 2 == 0)
                matches.append(QStringLiteral("@10.%1.%2.%3").arg(i % 256).arg(m).arg((i * 7 + m) % 256));
            else
                matches.append(QStringLiteral("#_range%1:%2").arg(1000 * m).arg(1000 * m + i % 1000));
        }
        records.append(QVariantMap{
            {QStringLiteral("PalisorClassName"), QStringLiteral("PAApplication")},
            {QStringLiteral("appName"), QStringLiteral("Application %1").arg(i)},
            {QStringLiteral("appPath"), path},
            {QStringLiteral("appBinaries"),
             QVariantList{path + QStringLiteral("/Contents/MacOS/app%1").arg(i)}},
            {QStringLiteral("appIsBundle"), i % 4 != 0},
            {QStringLiteral("appIsBlockedOrAllowed"), i % 5},
            {QStringLiteral("appMatches"), matches},
        });
    }
    for (int i = 0; i < globalRuleCount; ++i) {
        records.append(QVariantMap{
            {QStringLiteral("PalisorClassName"), QStringLiteral("PAManagedRecords")},
            {QStringLiteral("record"), QStringLiteral("172.%1.%2.0/24").arg(i / 256).arg(i % 256)},
            {QStringLiteral("type"), i % 3},
            {QStringLiteral("rule"), i % 2},
        });
    }
    for (int i = 0; i < managedFolderCount; ++i) {
        records.append(QVariantMap{
            {QStringLiteral("PalisorClassName"), QStringLiteral("PAExclusion")},
            {QStringLiteral("path"), QStringLiteral("/Users/Shared/Folder %1").arg(i)},
            {QStringLiteral("rule"), i % 2},
            {QStringLiteral("ignored"), i % 3 == 0},
            {QStringLiteral("hardcoded"), false},
        });
    }
    records.append(QVariantMap{
        {QStringLiteral("PalisorClassName"), QStringLiteral("PAPreferences")},
        {QStringLiteral("alertTimeout"), 60},
        {QStringLiteral("windowHeight"), 412.5},
        {QStringLiteral("showAlerts"), true},
        {QStringLiteral("language"), QStringLiteral("en")},
    });
    return records;
}

// The configuration file's own form: a one-element array whose record holds
// the archive as data.
QByteArray encodedFile(const QVariantList& records)
{
    const QVariantMap wrapper{
        {QStringLiteral("PalisorClassName"), QStringLiteral("PalisorConfiguration")},
        {QStringLiteral("PalisorConfiguration"), KeyedArchive::archive(records)},
        {QStringLiteral("PalisorVersion"), QStringLiteral("1.0.0")},
    };
    return PropertyList::toData(QVariantList{wrapper}, PropertyList::Format::Binary);
}

const QByteArray& sampleFile()
{
    static const QByteArray file = encodedFile(configuration());
    return file;
}

bool decodeFile(const QByteArray& file)
{
    const auto outer = PropertyList::fromData(file);
    if (!outer)
        return false;
    const QByteArray archive =
        outer->toList().value(0).toMap().value(QStringLiteral("PalisorConfiguration")).toByteArray();
    const auto records = KeyedArchive::unarchive(archive);
    benchmark::DoNotOptimize(records);
    return records && records->toList().size() == applicationCount + globalRuleCount + managedFolderCount + 1;
}

void decodeConfiguration(benchmark::State& state)
{
    const QByteArray& file = sampleFile();
    for (auto _ : state) {
        if (!decodeFile(file)) {
            state.SkipWithError("the configuration did not decode");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(decodeConfiguration)->Unit(benchmark::kMillisecond);

void encodeConfiguration(benchmark::State& state)
{
    const QVariantList records = configuration();
    for (auto _ : state) {
        const QByteArray file = encodedFile(records);
        benchmark::DoNotOptimize(file.constData());
    }
}
BENCHMARK(encodeConfiguration)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
