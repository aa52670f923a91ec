#include "daemonlink/PAAlertLookups.h"

#include "core/TLMatchIP.h"
#include "platform/Identities.h"
#include "support/FakeCountrySource.h"
#include "support/QtPrinters.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace PAAlertLookups;

// Lines as the system's file has them, tabs and comments included.
const QString kServices = QStringLiteral("# Network services, Internet style\n"
                                         "tcpmux\t\t1/tcp\t\t\t\t# TCP port service multiplexer\n"
                                         "ftp\t\t21/tcp\n"
                                         "ssh\t\t22/tcp\t\t\t\t# SSH Remote Login Protocol\n"
                                         "telnet\t\t23/tcp\n"
                                         "domain\t\t53/udp\n"
                                         "https\t\t443/tcp\t\t\t\t# http protocol over TLS/SSL\n"
                                         "kerberos\t88/tcp\t\tkerberos5 krb5\t# Kerberos v5\n"
                                         "mytunnel 1022/tcp\n"
                                         "#oldname\t\t2222/tcp\n"
                                         "sub\t\t4443/udp # not 443/tcp\n"
                                         "tail-line\t9999/tcp");

TEST(PAAlertLookupsServices, ThePortsServiceIsTheFirstLineThatNamesIt)
{
    const struct
    {
        const char* port;
        const char* text;
    } cases[] = {
        {"22", "22 (ssh)"},
        {"443", "443 (https)"},
        {"53", "53 (domain)"},       // the protocol plays no part
        {"88", "88 (kerberos)"},     // a single tab and aliases
        {"1022", "1022 (mytunnel)"}, // blanks, no tab
        {"2222", "2222 (oldname)"},  // the comment mark goes, the name stays
        {"4443", "4443 (sub)"},
        {"9999", "9999 (tail-line)"}, // the last line has no line end
        {"2", "2 "},                  // "22/" and "1/" do not hold " 2/"
        {"8080", "8080 "},
        {"", " "},
        {"2.", "2. "}, // looked for as text, never as a pattern
        {".*", ".* "},
        {"22/tcp", "22/tcp "},
    };
    for (const auto& c : cases) {
        const QString port = QLatin1String(c.port);
        EXPECT_EQ(portText(port, serviceTextForPort(kServices, port)), QLatin1String(c.text)) << c.port;
    }
}

TEST(PAAlertLookupsServices, TheServicesFileIsReadUnderTheRootAndMayBeMissing)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ScopedEnvironmentVariable variable("PALISOR_ROOT", root.path().toLocal8Bit());
    EXPECT_EQ(serviceTextForPort(QStringLiteral("22")), QString());

    ASSERT_TRUE(QDir().mkpath(root.path() + QStringLiteral("/etc")));
    QFile file(root.path() + QStringLiteral("/etc/services"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kServices.toUtf8());
    file.close();
    EXPECT_EQ(serviceTextForPort(QStringLiteral("22")), "(ssh)");
    EXPECT_EQ(serviceTextForPort(QStringLiteral("7")), QString());
}

TEST(PAAlertLookupsAddressClass, PrefixesAndPrivateNetworksComeBeforeTheCountry)
{
    FakeCountrySource countries;
    countries.addZone(QStringLiteral("us"), {QStringLiteral("8.8.8.0/24"), QStringLiteral("170.0.0.0/8"),
                                             QStringLiteral("172.32.0.0/16")});
    const TLMatchIP matcher;
    const struct
    {
        const char* address;
        AddressClass::Kind kind;
        const char* labelOrCode;
        const char* image;
    } cases[] = {
        {"17.253.1.1", AddressClass::Label, "Apple Corporate Network", "appleicon"},
        {"::ffff:17.1.2.3", AddressClass::Label, "Apple Corporate Network", "appleicon"},
        {"170.1.2.3", AddressClass::Country, "us", ""},
        {"127.0.0.1", AddressClass::Label, "Loopback Interface", "NSComputer"},
        {"192.168.1.5", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"::ffff:192.168.1.5", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"172.16.0.1", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"172.31.255.255", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"172.32.0.1", AddressClass::Country, "us", ""},
        {"10.200.3.4", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"169.254.3.4", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"fe80::1", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"fc00::1", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"fd12:3456::1", AddressClass::Label, "Local Area Network", "homelanicon"},
        {"::ffff:8.8.8.8", AddressClass::Country, "us", ""},
        {"8.8.4.4", AddressClass::NoCountry, "", ""},
        // Only a leading mapped prefix is taken off; a later one is left.
        {"1.2.3.4::ffff:", AddressClass::NoCountry, "", ""},
    };
    for (const auto& c : cases) {
        const AddressClass found = classifyRemoteAddress(QLatin1String(c.address), matcher, countries);
        EXPECT_EQ(found.kind, c.kind) << c.address;
        EXPECT_EQ(found.kind == AddressClass::Country ? found.code : found.label,
                  QLatin1String(c.labelOrCode))
            << c.address;
        EXPECT_EQ(found.image, QLatin1String(c.image)) << c.address;
    }
    // The mapped prefix is gone before the country search sees the address.
    EXPECT_TRUE(countries.searchedAddresses().contains("8.8.8.8"));
    EXPECT_FALSE(countries.searchedAddresses().contains("::ffff:8.8.8.8"));
}

TEST(PAAlertLookupsAddressClass, TheFirstZoneThatHoldsTheAddressNamesTheCountry)
{
    FakeCountrySource countries;
    countries.addZone(QStringLiteral("it"),
                      {QString(), QStringLiteral("not a network"), QStringLiteral("5.0.0.0/8")});
    countries.addZone(QStringLiteral("DE"), {QStringLiteral("5.1.0.0/16")});
    countries.setName(QStringLiteral("IT"), QStringLiteral("Italy"));
    const TLMatchIP matcher;
    const AddressClass overlap = classifyRemoteAddress(QStringLiteral("5.1.2.3"), matcher, countries);
    EXPECT_EQ(overlap.code, "it");
    EXPECT_EQ(nationOfCountry(overlap.code, countries), "Italy") << "names are kept under the upper case";
    EXPECT_EQ(nationOfCountry(QStringLiteral("DE"), countries), "Unknown location");
}

TEST(PAAlertLookupsSignature, TheVerificationReportGivesTheValidityAndItsLight)
{
    const struct
    {
        const char* report;
        const char* text;
        bool missing;
        bool invalid;
    } cases[] = {
        {"", "valid signature", false, false},
        {"/usr/bin/x: code object is not signed at all\n", "missing signature", true, false},
        {"/usr/bin/x: a sealed resource is missing or invalid\n", "invalid signature", false, true},
        {"/usr/bin/x: No such file or directory\n", "invalid signature", false, true},
    };
    for (const auto& c : cases) {
        const SignatureValidity validity = signatureValidity(QLatin1String(c.report));
        EXPECT_EQ(validity.text, QLatin1String(c.text)) << c.report;
        EXPECT_EQ(validity.missing, c.missing) << c.report;
        EXPECT_EQ(validity.invalid, c.invalid) << c.report;
    }
}

TEST(PAAlertLookupsSignature, OnlyTheFirstAuthorityLineNamesTheSigner)
{
    const struct
    {
        const char* report;
        const char* author; // nullptr: no author
        bool apple;
    } cases[] = {
        {"Executable=/x\nIdentifier=x\n", nullptr, false},
        {"Executable=/x\nAuthority=Developer ID Application: Jane Roe (AB12CD)\n"
         "Authority=Developer ID Certification Authority\nAuthority=Apple Root CA\n",
         "signed by Jane Roe (AB12CD)", false},
        {"Authority=Apple Mac OS Application Signing\nAuthority=Apple Root CA\n", "signed by Apple", true},
        {"Authority=Software Signing\n", "signed by Apple", true},
        // Exactly those lines: more text is another signer.
        {"Authority=Software Signing Ltd\n", "signed by Software Signing Ltd", false},
        {"Authority=Acme=Tools\n", "signed by Acme", false},
        {"Authority=\n", "signed by ", false},
        {"Identifier=x\nAuthority=Developer ID Certification Authority\nAuthority=Software Signing\n",
         "signed by Developer ID Certification Authority", false},
        {" Authority=Software Signing\n", nullptr, false},
    };
    for (const auto& c : cases) {
        const std::optional<SignatureAuthor> author = signatureAuthor(QLatin1String(c.report));
        ASSERT_EQ(author.has_value(), c.author != nullptr) << c.report;
        if (!author)
            continue;
        EXPECT_EQ(author->text, QLatin1String(c.author)) << c.report;
        EXPECT_EQ(author->apple, c.apple) << c.report;
    }
}

TEST(PAAlertLookupsWhois, CommentMarksAreTakenOutInTurn)
{
    EXPECT_EQ(cleanWhoisOutput(QStringLiteral("# ARIN WHOIS data\n#\n% Note: this is RIPE\n"
                                              "NetRange: 8.8.8.0 - 8.8.8.255\n%%ok\n##  x")),
              "ARIN WHOIS data\n\nNote: this is RIPE\nNetRange: 8.8.8.0 - 8.8.8.255\n%%ok\n x");
    // Each pass works on what the one before left.
    EXPECT_EQ(cleanWhoisOutput(QStringLiteral("#% a")), "a");
    EXPECT_EQ(cleanWhoisOutput(QStringLiteral("%# a")), "%a");
    EXPECT_EQ(cleanWhoisOutput(QStringLiteral("ERROR")), "ERROR");
}

TEST(PAAlertLookupsUserPicture, RootTheGuestAndTheAccountsInTheirOrder)
{
    auto identity = [](const char* name) {
        Identity made;
        made.posixName = QLatin1String(name);
        return made;
    };
    const QList<Identity> identities{identity("alice"), identity("root"), identity(""), identity("bob"),
                                     identity("alice")};
    // alice's first account has a picture, her second has none; bob has one.
    const QList<bool> pictures{true, true, false, true, false};
    using P = UserPicture;
    const struct
    {
        const char* uid;
        std::optional<QString> name;
        QList<bool> pictures;
        P::Kind kind;
        qsizetype identity;
    } cases[] = {
        {"-1", std::nullopt, pictures, P::Computer, -1},
        {"-1", QStringLiteral("alice"), pictures, P::Computer, -1},
        {"0", QStringLiteral("root"), pictures, P::Computer, -1}, // even with a picture of its own
        {"1001", QStringLiteral("bob"), pictures, P::Account, 3},
        {"1000", QStringLiteral("alice"), pictures, P::Computer, -1}, // the later match wins
        {"1000", QStringLiteral("alice"), {false, true, false, true, true}, P::Account, 4},
        {"1002", QStringLiteral("carol"), pictures, P::Computer, -1}, // nobody matched
        {"201", QStringLiteral("bob"), pictures, P::Guest, -1},
        {"201", std::nullopt, pictures, P::Guest, -1},
        {"4711", std::nullopt, pictures, P::Computer, -1}, // the nameless account has no picture
        {"4711", std::nullopt, {false, false, true, false, false}, P::Account, 2},
        {"12a", QStringLiteral("bob"), pictures, P::Unchanged, -1},
        {"", std::nullopt, pictures, P::Unchanged, -1},
    };
    for (const auto& c : cases) {
        QList<qsizetype> asked;
        const P picture = userPictureFor(QLatin1String(c.uid), c.name, identities, [&](qsizetype i) {
            asked.append(i);
            return c.pictures.value(i);
        });
        EXPECT_EQ(picture.kind, c.kind) << c.uid << " " << c.name.value_or("(none)").toStdString();
        if (c.kind == P::Account) {
            EXPECT_EQ(picture.identity, c.identity) << c.uid;
        }
        for (const qsizetype i : asked)
            EXPECT_EQ(identities.at(i).posixName, c.name.value_or(QString()))
                << "only matches load a picture";
    }
}

} // namespace
