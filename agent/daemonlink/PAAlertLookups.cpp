#include "daemonlink/PAAlertLookups.h"

#include "core/PACountryTable.h"
#include "core/TLMatchIP.h"
#include "platform/Identities.h"
#include "platform/Paths.h"

#include <QFile>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<PACountrySource*> g_countries{nullptr};

} // namespace

bool PACountrySource::hasZones() const
{
    return PACountryTable::hasZones();
}

std::optional<QString> PACountrySource::findCountryOfAddress(const QString& address,
                                                             const TLMatchIP& matcher) const
{
    return PACountryTable::findCountryOfAddress(address, matcher);
}

std::optional<QString> PACountrySource::countryName(const QString& code) const
{
    return PACountryTable::countryName(code);
}

QString PACountrySource::flagImagePath(const QString& code) const
{
    return PACountryTable::flagImagePath(code);
}

PACountrySource& PACountrySource::shared()
{
    static PACountrySource table;
    PACountrySource* source = g_countries.load();
    return source ? *source : table;
}

void PACountrySource::setShared(PACountrySource* source)
{
    g_countries.store(source);
}

namespace PAAlertLookups {

QString serviceTextForPort(const QString& servicesFile, const QString& port)
{
    // The port is looked for as text, never as a pattern: whatever the
    // request carries, it can only fail to match.
    const QString needle = QLatin1Char(' ') + port + QLatin1Char('/');
    const QStringList lines = servicesFile.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line.replace(QLatin1Char('\t'), QStringLiteral("  "));
        if (!line.contains(needle))
            continue;
        line.remove(QLatin1Char('#'));
        // One pass: three blanks become two, as the names were always cut.
        line.replace(QStringLiteral("  "), QStringLiteral(" "));
        return QLatin1Char('(') + line.section(QLatin1Char(' '), 0, 0) + QLatin1Char(')');
    }
    return {};
}

QString serviceTextForPort(const QString& port)
{
    QFile file(Paths::system(QStringLiteral("/etc/services")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return serviceTextForPort(QString::fromUtf8(file.readAll()), port);
}

QString portText(const QString& port, const QString& serviceText)
{
    return port + QLatin1Char(' ') + serviceText;
}

AddressClass classifyRemoteAddress(const QString& address, const TLMatchIP& matcher,
                                   const PACountrySource& countries)
{
    QString a = address;
    if (a.startsWith(QLatin1String("::ffff:")))
        a.remove(QStringLiteral("::ffff:"));

    const auto label = [](const char* text, const char* image) {
        AddressClass result;
        result.kind = AddressClass::Label;
        result.label = QLatin1String(text);
        result.image = QLatin1String(image);
        return result;
    };
    // Prefixes of the text, not numbers: 170.1.2.3 is nobody's network here.
    if (a.startsWith(QLatin1String("17.")))
        return label("Apple Corporate Network", "appleicon");
    if (a.startsWith(QLatin1String("127.")))
        return label("Loopback Interface", "NSComputer");
    for (const char* network : {"192.168.0.0/16", "172.16.0.0/12", "10.0.0.0/8", "169.254.0.0/16"})
        if (matcher.matchIP(a, QLatin1String(network)))
            return label("Local Area Network", "homelanicon");
    for (const char* prefix : {"fe80::", "fc", "fd"})
        if (a.startsWith(QLatin1String(prefix)))
            return label("Local Area Network", "homelanicon");

    AddressClass result;
    if (const std::optional<QString> code = countries.findCountryOfAddress(a, matcher)) {
        result.kind = AddressClass::Country;
        result.code = *code;
    }
    return result;
}

QString nationOfCountry(const QString& code, const PACountrySource& countries)
{
    return countries.countryName(code).value_or(QStringLiteral("Unknown location"));
}

SignatureValidity signatureValidity(const QString& verifyReport)
{
    SignatureValidity validity;
    if (verifyReport.contains(QLatin1String("object is not signed"))) {
        validity.text = QStringLiteral("missing signature");
        validity.missing = true;
    } else if (verifyReport.isEmpty()) {
        validity.text = QStringLiteral("valid signature");
    } else {
        validity.text = QStringLiteral("invalid signature");
        validity.invalid = true;
    }
    return validity;
}

std::optional<SignatureAuthor> signatureAuthor(const QString& describeReport)
{
    const QStringList lines = describeReport.split(QLatin1Char('\n'));
    const auto first = std::find_if(lines.cbegin(), lines.cend(), [](const QString& line) {
        return line.startsWith(QLatin1String("Authority="));
    });
    if (first == lines.cend())
        return std::nullopt;
    SignatureAuthor author;
    if (*first == QLatin1String("Authority=Software Signing") ||
        *first == QLatin1String("Authority=Apple Mac OS Application Signing")) {
        author.text = QStringLiteral("signed by Apple");
        author.apple = true;
        return author;
    }
    QString name = first->section(QLatin1Char('='), 1, 1);
    name.remove(QStringLiteral("Developer ID Application: "));
    author.text = QStringLiteral("signed by ") + name;
    return author;
}

QString cleanWhoisOutput(const QString& result)
{
    QString text = result;
    text.remove(QStringLiteral("# "));
    text.remove(QLatin1Char('#'));
    text.remove(QStringLiteral("% "));
    return text;
}

UserPicture userPictureFor(const QString& uidText, const std::optional<QString>& name,
                           const QList<Identity>& identities,
                           const std::function<bool(qsizetype)>& hasPicture)
{
    bool ok = false;
    const qint64 uid = uidText.toLongLong(&ok, 10);
    if (!ok)
        return {};
    if (uid < 0)
        return {UserPicture::Computer};

    UserPicture picture{UserPicture::Computer};
    for (qsizetype i = 0; i < identities.size(); ++i) {
        const QString& posixName = identities.at(i).posixName;
        // An account without a name matches an owner without one.
        const bool matches = name ? (!posixName.isEmpty() && posixName == *name) : posixName.isEmpty();
        if (!matches)
            continue;
        picture = hasPicture(i) ? UserPicture{UserPicture::Account, i} : UserPicture{UserPicture::Computer};
    }
    if (name == QLatin1String("root"))
        return {UserPicture::Computer};
    if (uid == 201)
        return {UserPicture::Guest};
    return picture;
}

} // namespace PAAlertLookups
