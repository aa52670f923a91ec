#include "app/MainInterface.h"
#include "bench/AgentBenchmarkMain.h"
#include "core/PAConfiguration.h"
#include "core/PAConfigurationRecords.h"
#include "core/SharedState.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

namespace {

constexpr int applicationCount = 10000;
constexpr int globalRuleCount = 1000;
constexpr int managedFolderCount = 200;
constexpr int pythonIterations = 3;

QVariantList records()
{
    QVariantList array;
    array.append(PAConfigurationRecords::preferencesRecord());
    for (int i = 0; i < managedFolderCount; ++i)
        array.append(QVariantMap{{"PalisorClassName", QStringLiteral("PAExclusion")},
                                 {"path", QStringLiteral("/Users/Shared/Folder %1").arg(i)},
                                 {"rule", qlonglong(i % 2)},
                                 {"ignored", i % 3 == 0},
                                 {"hardcoded", false}});
    for (int i = 0; i < globalRuleCount; ++i)
        array.append(QVariantMap{{"PalisorClassName", QStringLiteral("PAManagedRecords")},
                                 {"record", QStringLiteral("172.%1.%2.0/24").arg(i / 256).arg(i % 256)},
                                 {"type", qlonglong(1)},
                                 {"rule", qlonglong(i % 2)}});
    for (int i = 0; i < applicationCount; ++i) {
        const QString path = QStringLiteral("/Applications/Application %1.app").arg(i);
        QVariantList matches;
        for (int m = 0; m < 10; ++m)
            matches.append(m % 2 == 0
                               ? QStringLiteral("@10.%1.%2.%3").arg(i % 256).arg(m).arg((i * 7 + m) % 256)
                               : QStringLiteral("#_range%1:%2").arg(1000 * m).arg(1000 * m + i % 1000));
        array.append(QVariantMap{{"PalisorClassName", QStringLiteral("PAApplication")},
                                 {"appName", QStringLiteral("Application %1.app").arg(i)},
                                 {"appPath", path},
                                 {"appBinaries", QVariantList{QStringLiteral("Application %1.app/").arg(i)}},
                                 {"appIsBundle", true},
                                 {"appIsBlockedOrAllowed", qlonglong(i % 5)},
                                 {"appMatches", matches}});
    }
    return array;
}

const QByteArray& encodedFile()
{
    static const QByteArray file = PropertyList::toData(
        QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                                 {"PalisorConfiguration", KeyedArchive::archive(records())},
                                 {"PalisorVersion", QStringLiteral("1.0.0")}}},
        PropertyList::Format::Binary);
    return file;
}

const QByteArray& plainFile()
{
    static const QByteArray file = PropertyList::toData(records(), PropertyList::Format::Xml);
    return file;
}

QString writeSample(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

// Posting the rule set costs its encoding for the bus; that is measured, the
// bus is not.
class EncodingCenter : public DistributedNotificationCenter
{
public:
    void postNotificationName(const QString&, const QString&, const QVariantMap& userInfo, int) override
    {
        bytes += PropertyList::toData(userInfo, PropertyList::Format::Binary).size();
    }
    // As the bus centre does, these bytes go out as they are.
    void postNotificationData(const QString&, const QString&, const QByteArray& userInfo, int) override
    {
        bytes += userInfo.size();
    }
    ObserverToken addObserver(const QString&, const QString&, Handler) override { return 0; }
    void removeObserver(ObserverToken) override {}
    qint64 bytes = 0;
};

void checkedRecords(benchmark::State& state, const QByteArray& file)
{
    for (auto _ : state) {
        const auto configuration = PAConfigurationRecords::parseData(file);
        if (!configuration || configuration->apps.size() != applicationCount) {
            state.SkipWithError("the configuration did not decode");
            break;
        }
        benchmark::DoNotOptimize(configuration->apps.data());
    }
    state.counters["bytes"] = static_cast<double>(file.size());
}

void decodeEncodedIntoCheckedRecords(benchmark::State& state)
{
    checkedRecords(state, encodedFile());
}
BENCHMARK(decodeEncodedIntoCheckedRecords)->Unit(benchmark::kMillisecond);

void decodePlainXmlIntoCheckedRecords(benchmark::State& state)
{
    checkedRecords(state, plainFile());
}
BENCHMARK(decodePlainXmlIntoCheckedRecords)->Unit(benchmark::kMillisecond);

// The whole load: checked records, the apps, folders and rules built, the
// editors filled and the rule set encoded for the daemon.
void loadConf(benchmark::State& state, const QByteArray& bytes)
{
    QTemporaryDir dir;
    const QString path = writeSample(dir, QStringLiteral("palisor.conf"), bytes);
    EncodingCenter center;
    DistributedNotificationCenter::setDefaultCenter(&center);
    MainInterface interface;
    for (auto _ : state) {
        if (!interface.configuration()->loadConf(path)) {
            state.SkipWithError("the configuration did not load");
            break;
        }
    }
    state.counters["published_bytes"] =
        static_cast<double>(center.bytes) / static_cast<double>(state.iterations());
    state.counters["goal_ms"] = 100;
    DistributedNotificationCenter::setDefaultCenter(nullptr);
    // The next benchmark starts from an empty model, not this one's 10,000 apps.
    sharedAppsLibrary.clear();
    exclusionsList.clear();
    recordsList.clear();
}

void loadConfEncoded(benchmark::State& state)
{
    loadConf(state, encodedFile());
}
BENCHMARK(loadConfEncoded)->Unit(benchmark::kMillisecond)->Iterations(3);

void loadConfPlainXml(benchmark::State& state)
{
    loadConf(state, plainFile());
}
BENCHMARK(loadConfPlainXml)->Unit(benchmark::kMillisecond)->Iterations(3);

void writeConf(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString source = writeSample(dir, QStringLiteral("source.conf"), encodedFile());
    EncodingCenter center;
    DistributedNotificationCenter::setDefaultCenter(&center);
    MainInterface interface;
    interface.configuration()->loadConf(source);
    const bool encoded = state.range(0) != 0;
    const QString target = dir.filePath(QStringLiteral("written.conf"));
    for (auto _ : state)
        interface.configuration()->writeConf(target, encoded, false);
    DistributedNotificationCenter::setDefaultCenter(nullptr);
}
BENCHMARK(writeConf)->Arg(0)->Arg(1)->ArgNames({"encoded"})->Unit(benchmark::kMillisecond);

// Python's plistlib doing the same decode (outer plist, inner plist, every
// UID resolved into lists and dictionaries) on the same bytes: our checked
// decode should take at most half its time. (The bare archive decode is in
// bench_keyedarchive.)
const char pythonDecode[] = R"(
import plistlib, sys, time
def decode(raw):
    outer = plistlib.loads(raw)
    archive = plistlib.loads(outer[0]["PalisorConfiguration"])
    objects = archive["$objects"]
    done = {}
    def resolve(uid):
        index = uid.data
        if index in done:
            return done[index]
        obj = objects[index]
        if isinstance(obj, dict):
            if "NS.keys" in obj:
                value = {resolve(k): resolve(v) for k, v in zip(obj["NS.keys"], obj["NS.objects"])}
            elif "NS.objects" in obj:
                value = [resolve(v) for v in obj["NS.objects"]]
            elif "NS.string" in obj:
                value = obj["NS.string"]
            else:
                value = obj.get("NS.data")
        else:
            value = obj
        done[index] = value
        return value
    return resolve(archive["$top"]["root"])
raw = open(sys.argv[1], "rb").read()
count = int(sys.argv[2])
decode(raw)
start = time.perf_counter()
for _ in range(count):
    decode(raw)
print((time.perf_counter() - start) / count)
)";

void checkedDecodeAgainstPython(benchmark::State& state)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        state.SkipWithError("python3 is not installed: no plistlib comparison");
        return;
    }
    QTemporaryDir dir;
    const QString path = writeSample(dir, QStringLiteral("palisor.conf"), encodedFile());
    for (auto _ : state) {
        QProcess process;
        process.start(python, {QStringLiteral("-c"), QString::fromLatin1(pythonDecode), path,
                               QString::number(pythonIterations)});
        bool ok = process.waitForFinished(-1) && process.exitCode() == 0;
        const double pythonSeconds = process.readAllStandardOutput().trimmed().toDouble(&ok);
        if (!ok) {
            state.SkipWithError("python3 printed no time");
            return;
        }
        PAConfigurationRecords::parseData(encodedFile());
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < pythonIterations; ++i)
            benchmark::DoNotOptimize(PAConfigurationRecords::parseData(encodedFile()));
        const std::chrono::duration<double> ours = std::chrono::steady_clock::now() - start;
        const double oursSeconds = ours.count() / pythonIterations;
        state.SetIterationTime(oursSeconds);
        state.counters["ours_s"] = oursSeconds;
        state.counters["python_s"] = pythonSeconds;
        state.counters["ours_over_python"] = oursSeconds / pythonSeconds;
        state.counters["ours_over_python_goal"] = 0.15;
    }
}
BENCHMARK(checkedDecodeAgainstPython)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runAgentBenchmarks(argc, argv);
}
