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

uint32_t prefixMask(int length)
{
    return length == 0 ? 0u : htonl(~uint32_t{0} << (32 - length));
}

// Zone files and most rules write a network as plain "a.b.c.d/len": four
// decimal parts of 0 to 255 without leading zeros, and a length of at most
// 32. Those are read here without the C parser's round trip through bytes;
// every other spelling (octal or hex parts, fewer parts, blanks, anything
// after the length) is left to the general reading, which gives the same
// for the plain ones.
inline char16_t unit(QChar c)
{
    return c.unicode();
}
inline char16_t unit(char c)
{
    return static_cast<unsigned char>(c);
}

template <typename Char> std::optional<TLMatchIP::IPv4Network> plainNetwork(const Char* c, qsizetype size)
{
    const auto digitAt = [&](qsizetype i) { return i < size && unit(c[i]) >= u'0' && unit(c[i]) <= u'9'; };
    qsizetype i = 0;
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= size || unit(c[i]) != u'.')
                return std::nullopt;
            ++i;
        }
        const qsizetype start = i;
        uint32_t value = 0;
        while (digitAt(i) && i - start < 3)
            value = value * 10 + (unit(c[i++]) - u'0');
        if (i == start || digitAt(i) || value > 255 || (unit(c[start]) == u'0' && i - start > 1))
            return std::nullopt;
        address = address << 8 | value;
    }
    if (i >= size || unit(c[i]) != u'/')
        return std::nullopt;
    ++i;
    const qsizetype start = i;
    int length = 0;
    while (digitAt(i) && i - start < 2)
        length = length * 10 + (unit(c[i++]) - u'0');
    if (i == start || i != size || length > 32)
        return std::nullopt;
    return TLMatchIP::IPv4Network{htonl(address), prefixMask(length)};
}

} // namespace

bool TLMatchIP::matchIP(const QString& address, const QString& network) const
{
    const auto networkValue = ipv4Network(network);
    const auto addressValue = networkValue ? ipv4Address(address) : std::nullopt;
    return addressValue && contains(*networkValue, *addressValue);
}

std::optional<uint32_t> TLMatchIP::ipv4Address(const QString& address)
{
    return ipv4(address);
}

std::optional<TLMatchIP::IPv4Network> TLMatchIP::ipv4Network(const QString& network)
{
    if (const auto plain = plainNetwork(network.constData(), network.size()))
        return plain;
    const QStringList pieces = network.split(QLatin1Char('/'));
    if (pieces.size() < 2)
        return std::nullopt;

    const auto networkValue = ipv4(pieces.at(0));
    if (!networkValue)
        return std::nullopt;

    const int length = integerValue(pieces.at(1));
    if (length < 0 || length > 32)
        return std::nullopt;

    return IPv4Network{*networkValue, prefixMask(length)};
}

std::optional<TLMatchIP::IPv4Network> TLMatchIP::ipv4Network(QByteArrayView utf8)
{
    if (const auto plain = plainNetwork(utf8.data(), utf8.size()))
        return plain;
    return ipv4Network(QString::fromUtf8(utf8));
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
