#include "core/PACountryTable.h"

#include "core/TLMatchIP.h"

#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace PACountryTable {

namespace {

// The zones as loaded. Each file's text stays as its UTF-8 bytes, and each
// line is read once as a network the way TLMatchIP::matchIP reads it: the
// search then parses only the address, and a few hundred thousand lines
// cost a few megabytes instead of one string each.
struct Entry
{
    QString code;
    QByteArray text;
    std::vector<TLMatchIP::IPv4Network> networks; // in line order
};
struct Table
{
    std::vector<Entry> entries;
};

QMutex& tableMutex()
{
    static QMutex mutex;
    return mutex;
}

std::shared_ptr<const Table>& currentTable()
{
    static std::shared_ptr<const Table> table = std::make_shared<const Table>();
    return table;
}

std::shared_ptr<const Table> table()
{
    QMutexLocker lock(&tableMutex());
    return currentTable();
}

QMutex& flagFoldersMutex()
{
    static QMutex mutex;
    return mutex;
}

QStringList& currentFlagFolders()
{
    static QStringList folders{QStringLiteral("/usr/share/iso-flags-svg/country-4x3"),
                               QStringLiteral("/usr/share/flags/countries/16x11")};
    return folders;
}

// A code names a picture file only when it is letters alone: zone codes come
// from file names, and one such as "../x" must not reach outside the folders.
bool isPictureName(const QString& code)
{
    if (code.size() != 2)
        return false;
    for (const QChar c : code) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')))
            return false;
    }
    return true;
}

} // namespace

bool hasZones()
{
    return !table()->entries.empty();
}

// Each line's reading as a network was done once at load with the matcher's
// own rule (TLMatchIP::ipv4Network), so testing the parsed networks in line
// order gives what matchIP(address, line) gives line by line; lines that are
// empty or no IPv4 network were dropped there, as they match nothing.
std::optional<QString> findCountryOfAddress(const QString& address, const TLMatchIP&)
{
    const std::shared_ptr<const Table> current = table();
    if (current->entries.empty())
        return std::nullopt;
    const std::optional<uint32_t> value = TLMatchIP::ipv4Address(address);
    if (!value)
        return std::nullopt;
    for (const Entry& entry : current->entries) {
        for (const TLMatchIP::IPv4Network& network : entry.networks) {
            if (TLMatchIP::contains(network, *value))
                return entry.code;
        }
    }
    return std::nullopt;
}

std::optional<QString> countryName(const QString& code)
{
    const auto& names = countryNames();
    const auto found = names.constFind(code.toUpper());
    if (found == names.constEnd())
        return std::nullopt;
    return found.value();
}

QString flagImagePath(const QString& code)
{
    if (!isPictureName(code))
        return {};
    const QString name = code.toLower();
    for (const QString& folder : flagFolders()) {
        for (const char* suffix : {".svg", ".png"}) {
            const QString path = folder + QLatin1Char('/') + name + QLatin1String(suffix);
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return {};
}

Zones countryZones()
{
    const std::shared_ptr<const Table> current = table();
    Zones zones;
    zones.reserve(qsizetype(current->entries.size()));
    for (const Entry& entry : current->entries)
        zones.append({entry.code, QString::fromUtf8(entry.text).split(QLatin1Char('\n'))});
    return zones;
}

void setCountryZoneTexts(const QList<ZoneText>& zones)
{
    auto next = std::make_shared<Table>();
    next->entries.reserve(size_t(zones.size()));
    for (const ZoneText& zone : zones) {
        Entry entry{zone.code, zone.text, {}};
        const QByteArrayView text(entry.text);
        entry.networks.reserve(size_t(std::count(text.begin(), text.end(), '\n') + 1));
        qsizetype start = 0;
        while (start <= text.size()) {
            qsizetype end = text.indexOf('\n', start);
            if (end < 0)
                end = text.size();
            if (end > start) {
                if (const auto network = TLMatchIP::ipv4Network(text.sliced(start, end - start)))
                    entry.networks.push_back(*network);
            }
            start = end + 1;
        }
        next->entries.push_back(std::move(entry));
    }
    std::shared_ptr<const Table> previous;
    {
        QMutexLocker lock(&tableMutex());
        previous = std::exchange(currentTable(), std::move(next));
    }
    // The old table, when no reader holds it any more, goes here, outside
    // the lock.
}

void setCountryZones(const Zones& zones)
{
    QList<ZoneText> texts;
    texts.reserve(zones.size());
    for (const Zone& zone : zones)
        texts.append({zone.code, zone.lines.join(QLatin1Char('\n')).toUtf8()});
    setCountryZoneTexts(texts);
}

const QHash<QString, QString>& countryNames()
{
    static const QHash<QString, QString> names = [] {
        static const std::pair<const char*, const char*> rows[] = {
            {"AD", "Andorra"},
            {"AE", "United Arab Emirates"},
            {"AF", "Afghanistan"},
            {"AG", "Antigua and Barbuda"},
            {"AI", "Anguilla"},
            {"AL", "Albania"},
            {"AM", "Armenia"},
            {"AO", "Angola"},
            {"AP", "Asia Pacific"},
            {"AQ", "Antarctica"},
            {"AR", "Argentina"},
            {"AS", "American Samoa"},
            {"AT", "Austria"},
            {"AU", "Australia"},
            {"AW", "Aruba"},
            {"AX", "Aland Islands"},
            {"AZ", "Azerbaijan"},
            {"BA", "Bosnia and Herzegovina"},
            {"BB", "Barbados"},
            {"BD", "Bangladesh"},
            {"BE", "Belgium"},
            {"BF", "Burkina Faso"},
            {"BG", "Bulgaria"},
            {"BH", "Bahrain"},
            {"BI", "Burundi"},
            {"BJ", "Benin"},
            {"BL", "Saint Barthelemy"},
            {"BM", "Bermuda"},
            {"BN", "Brunei Darussalam"},
            {"BO", "Bolivia"},
            {"BQ", "Bonaire"},
            {"BR", "Brazil"},
            {"BS", "Bahamas"},
            {"BT", "Bhutan"},
            {"BV", "Bouvet Island"},
            {"BW", "Botswana"},
            {"BY", "Belarus"},
            {"BZ", "Belize"},
            {"CA", "Canada"},
            {"CC", "Cocos Islands"},
            {"CD", "Congo DPR"},
            {"CF", "Central African Republic"},
            {"CG", "Congo"},
            {"CH", "Switzerland"},
            {"CI", "Cote d Ivoire"},
            {"CK", "Cook Islands"},
            {"CL", "Chile"},
            {"CM", "Cameroon"},
            {"CN", "China"},
            {"CO", "Colombia"},
            {"CR", "Costa Rica"},
            {"CU", "Cuba"},
            {"CV", "Cape Verde"},
            {"CW", "Curacao"},
            {"CX", "Christmas Island"},
            {"CY", "Cyprus"},
            {"CZ", "Czech Republic"},
            {"DE", "Germany"},
            {"DJ", "Djibouti"},
            {"DK", "Denmark"},
            {"DM", "Dominica"},
            {"DO", "Dominican Republic"},
            {"DZ", "Algeria"},
            {"EC", "Ecuador"},
            {"EE", "Estonia"},
            {"EG", "Egypt"},
            {"EH", "Western Sahara"},
            {"ER", "Eritrea"},
            {"ES", "Spain"},
            {"ET", "Ethiopia"},
            {"EU", "European Union"},
            {"FI", "Finland"},
            {"FJ", "Fiji"},
            {"FK", "Falkland Islands Malvinas"},
            {"FM", "Micronesia"},
            {"FO", "Faroe Islands"},
            {"FR", "France"},
            {"GA", "Gabon"},
            {"GB", "United Kingdom"},
            {"GD", "Grenada"},
            {"GE", "Georgia"},
            {"GF", "French Guiana"},
            {"GG", "Guernsey"},
            {"GH", "Ghana"},
            {"GI", "Gibraltar"},
            {"GL", "Greenland"},
            {"GM", "Gambia"},
            {"GN", "Guinea"},
            {"GP", "Guadeloupe"},
            {"GQ", "Equatorial Guinea"},
            {"GR", "Greece"},
            {"GS", "South Georgia South Sandwich"},
            {"GT", "Guatemala"},
            {"GU", "Guam"},
            {"GW", "Guinea-Bissau"},
            {"GY", "Guyana"},
            {"HK", "Hong Kong"},
            {"HM", "Heard Island McDonald Islands"},
            {"HN", "Honduras"},
            {"HR", "Croatia"},
            {"HT", "Haiti"},
            {"HU", "Hungary"},
            {"ID", "Indonesia"},
            {"IE", "Ireland"},
            {"IL", "Israel"},
            {"IM", "Isle of Man"},
            {"IN", "India"},
            {"IO", "British Indian Ocean Territory"},
            {"IQ", "Iraq"},
            {"IR", "Iran"},
            {"IS", "Iceland"},
            {"IT", "Italy"},
            {"JE", "Jersey"},
            {"JM", "Jamaica"},
            {"JO", "Jordan"},
            {"JP", "Japan"},
            {"KE", "Kenya"},
            {"KG", "Kyrgyzstan"},
            {"KH", "Cambodia"},
            {"KI", "Kiribati"},
            {"KM", "Comoros"},
            {"KN", "Saint Kitts and Nevis"},
            {"KP", "Korea DPR"},
            {"KR", "Korea"},
            {"KW", "Kuwait"},
            {"KY", "Cayman Islands"},
            {"KZ", "Kazakhstan"},
            {"LA", "Laos"},
            {"LB", "Lebanon"},
            {"LC", "Saint Lucia"},
            {"LI", "Liechtenstein"},
            {"LK", "Sri Lanka"},
            {"LR", "Liberia"},
            {"LS", "Lesotho"},
            {"LT", "Lithuania"},
            {"LU", "Luxembourg"},
            {"LV", "Latvia"},
            {"LY", "Libya"},
            {"MA", "Morocco"},
            {"MC", "Monaco"},
            {"MD", "Moldova"},
            {"ME", "Montenegro"},
            {"MF", "Saint Martin FR"},
            {"MG", "Madagascar"},
            {"MH", "Marshall Islands"},
            {"MK", "Macedonia"},
            {"ML", "Mali"},
            {"MM", "Myanmar"},
            {"MN", "Mongolia"},
            {"MO", "Macao"},
            {"MP", "Northern Mariana Islands"},
            {"MQ", "Martinique"},
            {"MR", "Mauritania"},
            {"MS", "Montserrat"},
            {"MT", "Malta"},
            {"MU", "Mauritius"},
            {"MV", "Maldives"},
            {"MW", "Malawi"},
            {"MX", "Mexico"},
            {"MY", "Malaysia"},
            {"MZ", "Mozambique"},
            {"NA", "Namibia"},
            {"NC", "New Caledonia"},
            {"NE", "Niger"},
            {"NF", "Norfolk Island"},
            {"NG", "Nigeria"},
            {"NI", "Nicaragua"},
            {"NL", "Netherlands"},
            {"NO", "Norway"},
            {"NP", "Nepal"},
            {"NR", "Nauru"},
            {"NU", "Niue"},
            {"NZ", "New Zealand"},
            {"OM", "Oman"},
            {"PA", "Panama"},
            {"PE", "Peru"},
            {"PF", "French Polynesia"},
            {"PG", "Papua New Guinea"},
            {"PH", "Philippines"},
            {"PK", "Pakistan"},
            {"PL", "Poland"},
            {"PM", "Saint Pierre Miquelon"},
            {"PN", "Pitcairn"},
            {"PR", "Puerto Rico"},
            {"PS", "Palestine"},
            {"PT", "Portugal"},
            {"PW", "Palau"},
            {"PY", "Paraguay"},
            {"QA", "Qatar"},
            {"RE", "Reunion"},
            {"RO", "Romania"},
            {"RS", "Serbia"},
            {"RU", "Russia"},
            {"RW", "Rwanda"},
            {"SA", "Saudi Arabia"},
            {"SB", "Solomon Islands"},
            {"SC", "Seychelles"},
            {"SD", "Sudan"},
            {"SE", "Sweden"},
            {"SG", "Singapore"},
            {"SH", "Saint Helena"},
            {"SI", "Slovenia"},
            {"SJ", "Svalbard Jan Mayen"},
            {"SK", "Slovakia"},
            {"SL", "Sierra Leone"},
            {"SM", "San Marino"},
            {"SN", "Senegal"},
            {"SO", "Somalia"},
            {"SR", "Suriname"},
            {"SS", "South Sudan"},
            {"ST", "Sao Tome Principe"},
            {"SV", "El Salvador"},
            {"SX", "Sint Maarten NL"},
            {"SY", "Syria"},
            {"SZ", "Swaziland"},
            {"TC", "Turks and Caicos"},
            {"TD", "Chad"},
            {"TF", "French Southern Territories"},
            {"TG", "Togo"},
            {"TH", "Thailand"},
            {"TJ", "Tajikistan"},
            {"TK", "Tokelau"},
            {"TL", "Timor-Leste"},
            {"TM", "Turkmenistan"},
            {"TN", "Tunisia"},
            {"TO", "Tonga"},
            {"TR", "Turkey"},
            {"TT", "Trinidad and Tobago"},
            {"TV", "Tuvalu"},
            {"TW", "Taiwan"},
            {"TZ", "Tanzania"},
            {"UA", "Ukraine"},
            {"UG", "Uganda"},
            {"UM", "United States Islands"},
            {"US", "United States"},
            {"UY", "Uruguay"},
            {"UZ", "Uzbekistan"},
            {"VA", "Vatican City"},
            {"VC", "Saint Vincent"},
            {"VE", "Venezuela"},
            {"VG", "Virgin Islands UK"},
            {"VI", "Virgin Islands US"},
            {"VN", "Viet Nam"},
            {"VU", "Vanuatu"},
            {"WF", "Wallis and Futuna"},
            {"WS", "Samoa"},
            {"YE", "Yemen"},
            {"YT", "Mayotte"},
            {"ZA", "South Africa"},
            {"ZM", "Zambia"},
            {"ZW", "Zimbabwe"},
            {"ZZ", "Unknown"},
        };
        QHash<QString, QString> table;
        table.reserve(qsizetype(std::size(rows)));
        for (const auto& [code, name] : rows)
            table.insert(QString::fromLatin1(code), QString::fromLatin1(name));
        return table;
    }();
    return names;
}

QStringList flagFolders()
{
    QMutexLocker lock(&flagFoldersMutex());
    return currentFlagFolders();
}

void setFlagFolders(const QStringList& folders)
{
    QMutexLocker lock(&flagFoldersMutex());
    currentFlagFolders() = folders;
}

} // namespace PACountryTable
