#include "core/PACountryTable.h"

#include "core/TLMatchIP.h"

namespace PACountryTable {

// No zones are loaded yet: every address stays unplaced.
bool hasZones()
{
    return false;
}

std::optional<QString> findCountryOfAddress(const QString&, const TLMatchIP&)
{
    return std::nullopt;
}

std::optional<QString> countryName(const QString&)
{
    return std::nullopt;
}

QString flagImagePath(const QString&)
{
    return {};
}

} // namespace PACountryTable
