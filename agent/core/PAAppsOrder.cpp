#include "core/PAAppsOrder.h"

#include "core/PAApplication.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>

#include <algorithm>
#include <array>
#include <numeric>

namespace {

using Apps = PAAppsOrder::Apps;

// One pass into buckets keeps each bucket in list order, which is what a
// stable sort by a small key gives, in linear time.
template <size_t Buckets, class Rank> Apps bucketed(const Apps& apps, Rank rank)
{
    std::array<Apps, Buckets> buckets;
    for (const auto& app : apps)
        if (app)
            buckets[std::min<size_t>(rank(*app), Buckets - 1)].push_back(app);
    Apps ordered;
    ordered.reserve(apps.size());
    for (Apps& bucket : buckets)
        ordered.insert(ordered.end(), bucket.begin(), bucket.end());
    return ordered;
}

// Position of a rule state in `states`; any other state comes after all five.
size_t stateRank(qint64 state, const std::array<qint64, 5>& states)
{
    const auto found = std::find(states.begin(), states.end(), state);
    return static_cast<size_t>(found - states.begin());
}

Apps byName(const Apps& apps)
{
    Apps present;
    present.reserve(apps.size());
    std::copy_if(apps.begin(), apps.end(), std::back_inserter(present),
                 [](const auto& app) { return !!app; });
    // The collator turns each name into a key once; comparing keys is far
    // cheaper than comparing names afresh at every step of the sort.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // The C locale compares code points and ignores the case setting: there
    // the names are compared folded.
    const bool plain = collator.locale().language() == QLocale::C;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(present.size());
    for (const auto& app : present)
        keys.push_back(
            collator.sortKey(plain ? app->appLocalizedName().toCaseFolded() : app->appLocalizedName()));
    std::vector<size_t> order(present.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&keys](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
    Apps ordered;
    ordered.reserve(present.size());
    for (size_t index : order)
        ordered.push_back(present[index]);
    return ordered;
}

} // namespace

PAAppsOrder::Apps PAAppsOrder::sorted(const Apps& apps, Order order)
{
    switch (order) {
    case ByName:
        return byName(apps);
    case PassedFirst:
        return bucketed<6>(apps, [](const PAApplication& app) {
            return stateRank(app.appIsBlockedOrAllowed(), {0, 2, 4, 3, 1});
        });
    case BlockedFirst:
        return bucketed<6>(apps, [](const PAApplication& app) {
            return stateRank(app.appIsBlockedOrAllowed(), {1, 3, 4, 2, 0});
        });
    case BundlesFirst:
        return bucketed<2>(apps, [](const PAApplication& app) { return app.appIsBundle() ? 0 : 1; });
    case BinariesFirst:
        return bucketed<2>(apps, [](const PAApplication& app) { return app.appIsBundle() ? 1 : 0; });
    case AppleFirst:
        return bucketed<2>(apps, [](const PAApplication& app) { return app.appIsSignedByApple() ? 0 : 1; });
    case ThirdPartyFirst:
        return bucketed<2>(apps, [](const PAApplication& app) { return app.appIsSignedByApple() ? 1 : 0; });
    }
    return apps;
}
