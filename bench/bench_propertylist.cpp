#include "platform/PropertyList.h"

#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <benchmark/benchmark.h>

namespace {

constexpr int applicationCount = 10000;
constexpr int recordCount = 1000;
constexpr int exclusionCount = 200;

// The rule set as the agent posts it to the daemon ("newAppListReceived"):
// the largest property list it writes, and one it writes often.
QVariantMap ruleSet()
{
    QVariantList apps;
    apps.reserve(applicationCount);
    for (int i = 0; i < applicationCount; ++i) {
        QStringList matches;
        for (int m = 0; m < 10; ++m) {
            if (m % 2 == 0)
                matches.append(QStringLiteral("@10.%1.%2.%3").arg(i % 256).arg(m).arg((i * 7 + m) % 256));
            else
                matches.append(QStringLiteral("#_range%1:%2").arg(1000 * m).arg(1000 * m + i % 1000));
        }
        apps.append(QVariantMap{
            {QStringLiteral("appBinaries"),
             QStringList{QStringLiteral("/Applications/Application %1.app/Contents/MacOS/app%1").arg(i)}},
            {QStringLiteral("appIsBlockedOrAllowed"), qlonglong(i % 5)},
            {QStringLiteral("appMatches"), matches},
        });
    }
    QVariantList records;
    for (int i = 0; i < recordCount; ++i)
        records.append(QVariantMap{
            {QStringLiteral("record"), QStringLiteral("172.%1.%2.0/24").arg(i / 256).arg(i % 256)},
            {QStringLiteral("rule"), qlonglong(i % 2)},
            {QStringLiteral("type"), qlonglong(i % 3)},
        });
    QVariantList exclusions;
    for (int i = 0; i < exclusionCount; ++i)
        exclusions.append(QVariantMap{
            {QStringLiteral("path"), QStringLiteral("/Users/Shared/Folder %1").arg(i)},
            {QStringLiteral("rule"), qlonglong(i % 2)},
        });
    return QVariantMap{
        {QStringLiteral("AppList"), apps},
        {QStringLiteral("ExclusionList"), exclusions},
        {QStringLiteral("RecordList"), records},
    };
}

const QVariantMap& sampleTree()
{
    static const QVariantMap tree = ruleSet();
    return tree;
}

void write(benchmark::State& state, PropertyList::Format format)
{
    const QVariantMap& tree = sampleTree();
    qsizetype size = 0;
    for (auto _ : state) {
        const QByteArray data = PropertyList::toData(tree, format);
        if (data.isEmpty()) {
            state.SkipWithError("the rule set was not written");
            return;
        }
        size = data.size();
        benchmark::DoNotOptimize(data.constData());
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void read(benchmark::State& state, PropertyList::Format format)
{
    const QByteArray data = PropertyList::toData(sampleTree(), format);
    for (auto _ : state) {
        const auto value = PropertyList::fromData(data);
        if (!value || value->toMap().value(QStringLiteral("AppList")).toList().size() != applicationCount) {
            state.SkipWithError("the rule set did not read back");
            return;
        }
        benchmark::DoNotOptimize(value);
    }
    state.counters["bytes"] = static_cast<double>(data.size());
}

void binaryWrite(benchmark::State& state)
{
    write(state, PropertyList::Format::Binary);
}
BENCHMARK(binaryWrite)->Unit(benchmark::kMillisecond);

void binaryRead(benchmark::State& state)
{
    read(state, PropertyList::Format::Binary);
}
BENCHMARK(binaryRead)->Unit(benchmark::kMillisecond);

void xmlWrite(benchmark::State& state)
{
    write(state, PropertyList::Format::Xml);
}
BENCHMARK(xmlWrite)->Unit(benchmark::kMillisecond);

void xmlRead(benchmark::State& state)
{
    read(state, PropertyList::Format::Xml);
}
BENCHMARK(xmlRead)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
