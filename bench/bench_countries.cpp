#include "bench/AgentBenchmarkMain.h"
#include "core/PACountryTable.h"
#include "core/PAFlagsController.h"
#include "core/TLMatchIP.h"
#include "platform/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

// The country zones the build made from the machine's database: loading them
// at launch, and the alert's search for an address in none of them (the
// longest walk), each against the plainest way of doing the same.
namespace {

using Clock = std::chrono::steady_clock;

QString zonesFolder()
{
    return QStringLiteral(PALISOR_BENCH_BUNDLE_DIR "/Contents/Resources/aggregated");
}

// Read every zone file whole and split it: no bounds, no checks.
PACountryTable::Zones plainLoad()
{
    PACountryTable::Zones zones;
    const QDir folder(zonesFolder());
    for (const QString& name : folder.entryList({QStringLiteral("*-aggregated.zone")}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            zones.append(
                {name.section(QLatin1Char('-'), 0, 0), QString::fromUtf8(file.readAll()).split(u'\n')});
    }
    return zones;
}

template <typename F> double seconds(F&& work, int rounds)
{
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        work();
    return std::chrono::duration<double>(Clock::now() - start).count() / rounds;
}

void loadZones(benchmark::State& state)
{
    if (!QFileInfo::exists(zonesFolder())) {
        state.SkipWithError("the build made no zones (no libGeoIP or geoip-database)");
        return;
    }
    PAFlagsController flags;
    double ours = 0;
    double plain = 0;
    for (auto _ : state) {
        plain = seconds([] { benchmark::DoNotOptimize(plainLoad()); }, 3);
        ours = seconds([&] { flags.makeDict(); }, 3);
    }
    const auto zones = plainLoad();
    state.counters["set_ms"] = seconds([&] { PACountryTable::setCountryZones(zones); }, 3) * 1e3;
    qint64 lines = 0;
    for (const auto& zone : PACountryTable::countryZones())
        lines += zone.lines.size();
    state.counters["lines"] = double(lines);
    state.counters["ours_ms"] = ours * 1e3;
    state.counters["plain_ms"] = plain * 1e3;
    state.counters["ours_over_plain"] = ours / plain;
    state.counters["ours_over_plain_goal"] = 2;
}
BENCHMARK(loadZones)->Iterations(1)->Unit(benchmark::kMillisecond);

void searchAddressInNoZone(benchmark::State& state)
{
    const PACountryTable::Zones zones = plainLoad();
    if (zones.isEmpty()) {
        state.SkipWithError("the build made no zones (no libGeoIP or geoip-database)");
        return;
    }
    PACountryTable::setCountryZones(zones);
    const QString address = QStringLiteral("10.1.2.3");
    const TLMatchIP matcher;
    // The plain walk: every line through the matcher, as written.
    const auto plainSearch = [&]() -> std::optional<QString> {
        for (const auto& zone : zones)
            for (const QString& line : zone.lines)
                if (!line.isEmpty() && matcher.matchIP(address, line))
                    return zone.code;
        return std::nullopt;
    };
    double ours = 0;
    double plain = 0;
    for (auto _ : state) {
        ours = seconds(
            [&] { benchmark::DoNotOptimize(PACountryTable::findCountryOfAddress(address, matcher)); }, 20);
        plain = seconds([&] { benchmark::DoNotOptimize(plainSearch()); }, 2);
    }
    state.counters["ours_ms"] = ours * 1e3;
    state.counters["plain_ms"] = plain * 1e3;
    state.counters["ours_over_plain"] = ours / plain;
    state.counters["ours_over_plain_goal"] = 0.1;
    state.counters["goal_ms"] = 5;
}
BENCHMARK(searchAddressInNoZone)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runAgentBenchmarks(argc, argv);
}
