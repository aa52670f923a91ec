#include "platform/SystemVersion.h"

std::optional<OperatingSystemVersion> SystemVersion::current()
{
    return std::nullopt;
}

bool SystemVersion::isAtLeast(const OperatingSystemVersion& version, int major, int minor, int patch)
{
    if (version.major != major)
        return version.major > major;
    if (version.minor != minor)
        return version.minor > minor;
    return version.patch >= patch;
}
