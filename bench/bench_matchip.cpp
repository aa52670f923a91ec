#include "core/TLMatchIP.h"

#include <QStringList>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int networkCount = 10000;

// Mostly the common rule sizes, a few host routes and wide blocks.
QStringList ipv4Networks()
{
    std::mt19937 random(1);
    const int prefixes[] = {8, 12, 16, 16, 20, 24, 24, 24, 28, 32, 32, 0};
    QStringList networks;
    for (int i = 0; i < networkCount; ++i) {
        const int prefix = prefixes[random() % std::size(prefixes)];
        networks.append(QStringLiteral("%1.%2.%3.0/%4")
                            .arg(random() % 224)
                            .arg(random() % 256)
                            .arg(random() % 256)
                            .arg(prefix));
    }
    return networks;
}

QStringList ipv6Networks()
{
    std::mt19937 random(2);
    const int prefixes[] = {10, 32, 48, 48, 56, 64, 64, 64, 65, 128};
    QStringList networks;
    for (int i = 0; i < networkCount; ++i) {
        const int prefix = prefixes[random() % std::size(prefixes)];
        networks.append(QStringLiteral("2001:db8:%1:%2::/%3")
                            .arg(random() % 0x10000, 0, 16)
                            .arg(random() % 0x10000, 0, 16)
                            .arg(prefix));
    }
    return networks;
}

void matchIPv4AgainstTenThousandNetworks(benchmark::State& state)
{
    const QStringList networks = ipv4Networks();
    const QString address = QStringLiteral("172.20.31.7");
    const TLMatchIP matcher;
    for (auto _ : state) {
        int matches = 0;
        for (const QString& network : networks)
            matches += matcher.matchIP(address, network);
        benchmark::DoNotOptimize(matches);
    }
    state.SetItemsProcessed(state.iterations() * networks.size());
}
BENCHMARK(matchIPv4AgainstTenThousandNetworks)->Unit(benchmark::kMicrosecond);

void matchIPv6AgainstTenThousandNetworks(benchmark::State& state)
{
    const QStringList networks = ipv6Networks();
    const QString address = QStringLiteral("2001:db8:1f:2a::7");
    const TLMatchIP matcher;
    for (auto _ : state) {
        int matches = 0;
        for (const QString& network : networks)
            matches += matcher.matchIPV6(address, network);
        benchmark::DoNotOptimize(matches);
    }
    state.SetItemsProcessed(state.iterations() * networks.size());
}
BENCHMARK(matchIPv6AgainstTenThousandNetworks)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
