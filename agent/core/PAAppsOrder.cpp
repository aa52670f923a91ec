#include "core/PAAppsOrder.h"

#include "core/PAApplication.h"

#include <QCollator>
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
    std::vector<size_t> order(present.size());
    std::iota(order.begin(), order.end(), size_t{0});
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    if (collator.locale().language() == QLocale::C) {
        // The C locale's collation is the code points, where the collator's
        // keys would not ignore case: compare the names themselves.
        std::stable_sort(order.begin(), order.end(), [&present](size_t a, size_t b) {
            return QString::compare(present[a]->appLocalizedName(), present[b]->appLocalizedName(),
                                    Qt::CaseInsensitive) < 0;
        });
    } else {
        // Collating two names directly is cheaper here than making a sort key
        // of every name first: the keys cost more to build than they save.
        std::stable_sort(order.begin(), order.end(), [&present, &collator](size_t a, size_t b) {
            return collator.compare(present[a]->appLocalizedName(), present[b]->appLocalizedName()) < 0;
        });
    }
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
