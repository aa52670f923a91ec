#pragma once

#include <QtGlobal>

#include <plist/plist.h>

#include <memory>

// What the property-list code shares about libplist and the format.

// Owns a libplist tree and frees it.
struct PlistDeleter
{
    void operator()(plist_t node) const
    {
        if (node)
            plist_free(node);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Seconds between the Unix epoch and the plist epoch (2001-01-01 UTC).
constexpr qint64 kPlistEpochOffset = 978307200;
