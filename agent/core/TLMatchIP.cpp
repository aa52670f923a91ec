#include "core/TLMatchIP.h"

#include "platform/InetNet.h"

#include <QByteArray>
#include <QStringList>

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

// The C parsers stop at a NUL, so a text with one inside would be judged by
// its first part only; such a text is no address at all.
std::optional<QByteArray> cText(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains('\0'))
        return std::nullopt;
    return bytes;
}

std::optional<uint32_t> ipv4(const QString& text)
{
    const auto bytes = cText(text);
    in_addr value{};
    if (!bytes || inet_aton(bytes->constData(), &value) == 0)
        return std::nullopt;
    return value.s_addr;
}

// Rule texts have always been read leniently: blanks, a sign, then digits up
// to the first other character; no digits at all reads as 0. Values far out
// of range are clamped, which keeps them out of range without overflowing.
int integerValue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            break;
        if (value < 100000)
            value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

} // namespace

bool TLMatchIP::matchIP(const QString& address, const QString& network) const
{
    const QStringList pieces = network.split(QLatin1Char('/'));
    if (pieces.size() < 2)
        return false;

    const auto addressValue = ipv4(address);
    const auto networkValue = ipv4(pieces.at(0));
    if (!addressValue || !networkValue)
        return false;

    const int length = integerValue(pieces.at(1));
    if (length < 0 || length > 32)
        return false;

    const uint32_t mask = length == 0 ? 0u : htonl(~uint32_t{0} << (32 - length));
    return ((*networkValue ^ *addressValue) & mask) == 0;
}

bool TLMatchIP::matchIPV6(const QString& address, const QString& network) const
{
    const auto addressText = cText(address);
    const auto networkText = cText(network);
    if (!addressText || !networkText)
        return false;

    unsigned char addressBytes[16];
    if (inet_pton(AF_INET6, addressText->constData(), addressBytes) != 1)
        return false;
    unsigned char networkBytes[16] = {};
    const int bits = inetNetPton6(networkText->constData(), networkBytes);
    if (bits < 0)
        return false;

    const int wholeWords = bits / 32;
    if (std::memcmp(addressBytes, networkBytes, 4 * wholeWords) != 0)
        return false;

    if (bits % 32 != 0) {
        uint32_t addressWord;
        uint32_t networkWord;
        std::memcpy(&addressWord, addressBytes + 4 * wholeWords, 4);
        std::memcpy(&networkWord, networkBytes + 4 * wholeWords, 4);
        const uint32_t mask = htonl(~uint32_t{0} << (32 - bits % 32));
        if (((addressWord ^ networkWord) & mask) != 0)
            return false;
    }
    return true;
}

bool TLMatchIP::validateIPV6cidr(const QString& text) const
{
    const auto bytes = cText(text);
    unsigned char network[16] = {};
    return bytes && inetNetPton6(bytes->constData(), network) != -1;
}

bool TLMatchIP::validateIPV4cidr(const QString& text) const
{
    const auto bytes = cText(text);
    unsigned char network[4] = {};
    return bytes && inetNetPton4(bytes->constData(), network) != -1;
}
