#pragma once

#include <memory>
#include <vector>

class PAApplication;

// The orders the managed apps can be shown in. Every order is stable: apps
// that it does not tell apart keep the order they had.
class PAAppsOrder
{
public:
    enum Order {
        // Display names, by the user's locale, case ignored.
        ByName,
        // Rule states 0, 2, 4, 3, 1.
        PassedFirst,
        // Rule states 1, 3, 4, 2, 0.
        BlockedFirst,
        BundlesFirst,
        BinariesFirst,
        // Signed by the system's maker first, or last.
        AppleFirst,
        ThirdPartyFirst,
    };

    using Apps = std::vector<std::shared_ptr<PAApplication>>;

    // The same apps in the new order. In the two state orders an app whose
    // state is none of 0 to 4 goes last, never out of the list. Null entries
    // are dropped.
    static Apps sorted(const Apps& apps, Order order);
};
