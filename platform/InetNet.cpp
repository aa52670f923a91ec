#include "platform/InetNet.h"

#include <arpa/inet.h>
#include <cstring>
#include <string>

namespace {

// The classic parser's rule for the bits after "/": digits only, none
// missing, no leading zero unless the length is just "0", at most 128.
int prefixLength(const char* text)
{
    const size_t length = std::strlen(text);
    if (length == 0 || length > 3)
        return -1;
    if (length > 1 && text[0] == '0')
        return -1;
    int value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value <= 128 ? value : -1;
}

} // namespace

int inetNetPton6(const char* text, unsigned char out[16])
{
    if (text == nullptr)
        return -1;

    const char* slash = std::strchr(text, '/');
    const std::string address = slash ? std::string(text, slash - text) : std::string(text);
    const int bits = slash ? prefixLength(slash + 1) : 128;
    if (bits < 0)
        return -1;

    unsigned char parsed[16];
    if (inet_pton(AF_INET6, address.c_str(), parsed) != 1)
        return -1;
    std::memcpy(out, parsed, sizeof parsed);
    return bits;
}

int inetNetPton4(const char* text, unsigned char out[4])
{
    if (text == nullptr)
        return -1;
    return inet_net_pton(AF_INET, text, out, 4);
}
