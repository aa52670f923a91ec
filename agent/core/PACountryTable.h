#pragma once

#include <QString>

#include <optional>

class TLMatchIP;

// The country zones and names that the alert and the connections window use
// to place an IPv4 address. Filled once on the main thread at launch, before
// the first alert; only read afterwards, from any thread, without a lock.
namespace PACountryTable {

// countryZones holds at least one country.
bool hasZones();
// The code (as spelled in its zone file's name) of the first zone line that
// contains the address, walking the zones in their table order.
std::optional<QString> findCountryOfAddress(const QString& address, const TLMatchIP& matcher);
// countryNames at the code in upper case; none when the table lacks it.
std::optional<QString> countryName(const QString& code);
// The flag picture's file for a zone code; empty when there is none.
QString flagImagePath(const QString& code);

} // namespace PACountryTable
