#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class TLMatchIP;
struct Identity;

// Where the alert's country facts come from: the country table, or what a
// test puts in its place. Read from look-up queues, so every answer must be
// safe on any thread.
class PACountrySource
{
public:
    virtual ~PACountrySource() = default;
    virtual bool hasZones() const;
    virtual std::optional<QString> findCountryOfAddress(const QString& address,
                                                        const TLMatchIP& matcher) const;
    virtual std::optional<QString> countryName(const QString& code) const;
    virtual QString flagImagePath(const QString& code) const;

    static PACountrySource& shared();
    // nullptr restores the country table. The caller keeps ownership.
    static void setShared(PACountrySource* source);
};

// The facts a connection alert looks up while it is on screen, computed
// without a window so that they are checked on their own.
namespace PAAlertLookups {

// The service name in brackets for a port, read from the text of a services
// file: the first line that holds a blank, the port and a slash (once every
// tab is two blanks) names it, whichever protocol or comment matched. ""
// when no line does.
QString serviceTextForPort(const QString& servicesFile, const QString& port);
// The same from "/etc/services" (under the agent's root).
QString serviceTextForPort(const QString& port);
// "22 (ssh)", or "22 " without a service.
QString portText(const QString& port, const QString& serviceText);

// What the flag shows for a dotted remote address.
struct AddressClass
{
    enum Kind { Label, Country, NoCountry };
    Kind kind = NoCountry;
    // Label: the text and the image's name. Country: the zone code as the
    // zone file spells it.
    QString label;
    QString image;
    QString code;
};
AddressClass classifyRemoteAddress(const QString& address, const TLMatchIP& matcher,
                                   const PACountrySource& countries);
// The sentence's nation for a country code: its name, or "Unknown location".
QString nationOfCountry(const QString& code, const PACountrySource& countries);

// The first report of the signing tool (verification).
struct SignatureValidity
{
    QString text;
    bool missing = false; // the no-signature light; no second report follows
    bool invalid = false; // the invalid light
};
SignatureValidity signatureValidity(const QString& verifyReport);
// The signer named by the first "Authority=" line of the detailed report;
// none without such a line.
struct SignatureAuthor
{
    QString text;
    bool apple = false; // the platform maker's own signature, with its light
};
std::optional<SignatureAuthor> signatureAuthor(const QString& describeReport);

// What the whois query writes: the tool's result without its comment marks.
QString cleanWhoisOutput(const QString& result);

// The picture the alert ends with for the owner of a process.
struct UserPicture
{
    enum Kind { Unchanged, Computer, Guest, Account };
    Kind kind = Unchanged;
    // Account: the index in the identities walked.
    qsizetype identity = -1;
};
// `uidText` as sent, `name` the account name of that uid (none when it has
// no account), `hasPicture(i)` whether identity i has a picture with both
// sides non-zero (asked only of the identities that match).
UserPicture userPictureFor(const QString& uidText, const std::optional<QString>& name,
                           const QList<Identity>& identities,
                           const std::function<bool(qsizetype)>& hasPicture);

} // namespace PAAlertLookups
