#pragma once

#include <optional>

// The desktop system's version, for the one place that branches on it. Linux
// has no such version: none is reported, so callers take their side for
// older systems.
struct OperatingSystemVersion
{
    int major = 0;
    int minor = 0;
    int patch = 0;
};

class SystemVersion
{
public:
    static std::optional<OperatingSystemVersion> current();
    // major.minor.patch at or above the given one.
    static bool isAtLeast(const OperatingSystemVersion& version, int major, int minor, int patch = 0);
};
