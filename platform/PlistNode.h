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

// A date as libplist hands it out, in milliseconds since the Unix epoch.
// libplist gives the seconds cut toward zero and the fraction without its
// sign, cut to the microsecond: the fraction is rounded to the millisecond
// and counted backwards before 2001 (within the last second before 2001 its
// sign is lost).
inline qint64 plistDateMSecs(qint64 sec, qint64 usec)
{
    const qint64 fraction = (usec + 500) / 1000;
    return (sec + kPlistEpochOffset) * 1000 + (sec < 0 ? -fraction : fraction);
}
