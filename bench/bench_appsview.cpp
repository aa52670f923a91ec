#include "bench/AgentBenchmarkMain.h"
#include "core/PAApplication.h"
#include "core/PAAppsOrder.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PACollectionView.h"
#include "mainwindow/PAController.h"
#include "mainwindow/PASearchController.h"

#include <QAction>
#include <QCollator>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

// The main window's apps view with 10,000 managed apps on screen: one sort
// by each order, the system-binaries filter switched, and one keystroke of
// search, each measured from the command to the list the view shows. Each
// must fit in one 16 ms frame. The baselines do the same work the plainest
// way (a comparison sort with the collator, contains() per name).
namespace {

constexpr int kApps = 10000;
constexpr double kFrameMs = 16.0;

struct AppsWindow
{
    AppsWindow()
        : controller(configuration, queues)
    {
        const QString words[] = {"Mail",    "Safari",   "terminal", "Straße",
                                 "Éditeur", "calendar", "Photos",   "zsh"};
        for (int i = 0; i < kApps; ++i) {
            const bool bundle = i % 3 != 0;
            // Scattered names, so that no order starts out sorted.
            const QString name = QStringLiteral("%1 %2").arg(words[(i * 7) % 8]).arg((i * 7919) % kApps);
            auto app = std::make_shared<PAApplication>(name, QStringList{name}, bundle, false,
                                                       QStringLiteral("/nowhere/") + name, false);
            app->setRule(i % 5);
            app->setAppLocalizedName(name);
            app->setAppIsSignedByApple(i % 4 == 0);
            app->setAppIsSystemBinary(i % 6 == 0);
            original.push_back(app);
        }
        controller.appsLibrary = original;
        controller.appsLibraryController->rearrangeObjects();
        ruleLists().publishApps(controller.appsLibrary);
        view.setController(&controller);
        view.resize(800, 600);
        view.show();
        QCoreApplication::processEvents();
    }
    void restoreOrder()
    {
        controller.appsLibrary = original;
        controller.appsLibraryController->rearrangeObjects();
        QCoreApplication::processEvents();
    }

    PAConfiguration configuration;
    PAWorkQueues queues;
    PAController controller;
    PACollectionView view;
    PAAppsOrder::Apps original;
};

AppsWindow& window()
{
    // Left for the process's end: its widgets must not outlive the application.
    static AppsWindow* shared = new AppsWindow;
    return *shared;
}

void finish(benchmark::State& state)
{
    state.counters["apps"] = kApps;
    state.counters["goal_ms"] = kFrameMs;
}

// sortApps() with one of the seven items, to the rearranged view.
void sortApps(benchmark::State& state)
{
    AppsWindow& apps = window();
    QAction* items[] = {apps.controller.miByName,         apps.controller.miPassedFirst,
                        apps.controller.miBlockedFirst,   apps.controller.miBundlesFirst,
                        apps.controller.miBinariesFirst,  apps.controller.miAppleFirst,
                        apps.controller.miThirdPartyFirst};
    QAction* item = items[state.range(0)];
    state.SetLabel(item->text().toStdString());
    for (auto _ : state) {
        state.PauseTiming();
        apps.restoreOrder();
        state.ResumeTiming();
        apps.controller.sortApps(item);
        synchronizedQueue().syncBarrier([] {});
    }
    finish(state);
}
BENCHMARK(sortApps)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

void baselineSortByNameWithTheCollator(benchmark::State& state)
{
    AppsWindow& apps = window();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (auto _ : state) {
        PAAppsOrder::Apps sorted = apps.original;
        std::stable_sort(sorted.begin(), sorted.end(), [&collator](const auto& a, const auto& b) {
            return collator.compare(a->appLocalizedName(), b->appLocalizedName()) < 0;
        });
        benchmark::DoNotOptimize(sorted.data());
    }
    finish(state);
}
BENCHMARK(baselineSortByNameWithTheCollator)->Unit(benchmark::kMillisecond);

// The system-binaries filter switched on (then off, untimed).
void filterSystemBinaries(benchmark::State& state)
{
    AppsWindow& apps = window();
    hideSystemBinaries = true;
    for (auto _ : state) {
        apps.controller.sortApps(nullptr);
        synchronizedQueue().syncBarrier([] {});
        state.PauseTiming();
        apps.controller.appsLibraryController->setFilterPredicate({});
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    hideSystemBinaries = false;
    finish(state);
}
BENCHMARK(filterSystemBinaries)->Unit(benchmark::kMillisecond);

// One keystroke: the field's text grows by a letter and every name is searched.
void searchKeystroke(benchmark::State& state)
{
    AppsWindow& apps = window();
    QLineEdit* field = apps.controller.searchAppName();
    const QString texts[] = {QStringLiteral("sa"), QStringLiteral("saf"), QStringLiteral("ss"),
                             QStringLiteral("str")};
    size_t next = 0;
    for (auto _ : state) {
        field->setText(texts[next++ % 4]);
        synchronizedQueue().syncBarrier([] {});
        QCoreApplication::processEvents();
    }
    field->clear();
    synchronizedQueue().syncBarrier([] {});
    finish(state);
}
BENCHMARK(searchKeystroke)->Unit(benchmark::kMillisecond);

void baselineSearchWithContains(benchmark::State& state)
{
    AppsWindow& apps = window();
    size_t next = 0;
    const QString texts[] = {QStringLiteral("sa"), QStringLiteral("saf"), QStringLiteral("ss"),
                             QStringLiteral("str")};
    for (auto _ : state) {
        int found = 0;
        for (const auto& app : apps.original)
            found += app->appLocalizedName().contains(texts[next % 4], Qt::CaseInsensitive);
        ++next;
        benchmark::DoNotOptimize(found);
    }
    finish(state);
}
BENCHMARK(baselineSearchWithContains)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runAgentBenchmarks(argc, argv);
}
