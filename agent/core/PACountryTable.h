#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class TLMatchIP;

// The country zones and names that the alert and the connections window use
// to place an IPv4 address. Filled once on the main thread at launch, before
// the first alert; only read afterwards, from any thread, without a lock.
namespace PACountryTable {

// One entry of countryZones: a code as spelled in its zone file's name, and
// the file's lines in order (a final line feed gives a final empty line).
struct Zone
{
    QString code;
    QStringList lines;
};
using Zones = QList<Zone>;

// countryZones holds at least one country.
bool hasZones();
// The code (as spelled in its zone file's name) of the first zone line that
// contains the address, walking the zones in their table order.
std::optional<QString> findCountryOfAddress(const QString& address, const TLMatchIP& matcher);
// countryNames at the code in upper case; none when the table lacks it.
std::optional<QString> countryName(const QString& code);
// The flag picture's file for a zone code; empty when there is none.
QString flagImagePath(const QString& code);

// One zone file as the loader read it: the code and the file's UTF-8 text,
// whose lines are the zone's lines (an empty text for a file that could not
// be read is the one empty line).
struct ZoneText
{
    QString code;
    QByteArray text;
};

// countryZones in the table's own order, its lines split from the texts on
// each call. A reader keeps what it got even if the table is replaced.
Zones countryZones();
// Replace countryZones whole: the loader (PAFlagsController) with the texts
// it read, tests with lines.
void setCountryZoneTexts(const QList<ZoneText>& zones);
void setCountryZones(const Zones& zones);

// countryNames: upper-case code to English name, 252 entries.
const QHash<QString, QString>& countryNames();

// Where flag pictures are looked for, in order: folders of "<code>.svg" or
// "<code>.png" files named in lower case. By default those of Debian's flag
// packages; tests point elsewhere.
QStringList flagFolders();
void setFlagFolders(const QStringList& folders);

} // namespace PACountryTable
