#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Turns a country database's address ranges into the zone files' lines: one
// IPv4 network in CIDR form per line, as few lines as cover each country.
// Plain C++ so that the build's generator starts and ends in a moment.
class ZoneAggregator
{
public:
    // What the database says of one address: its country code ("" for none)
    // and the prefix length of the network it found the address in.
    struct Answer
    {
        std::string code;
        int prefixLength = 32;
    };
    using Lookup = std::function<Answer(uint32_t address)>;

    // The addresses first..last (inclusive, in ascending order after the
    // previous range) belong to `code`. A range that continues the last one
    // with the same code extends it. Codes are kept in lower case; one that
    // is not a country code (see isCountryCode) belongs to no country.
    void add(uint32_t first, uint32_t last, const std::string& code);
    // Asks `lookup` once per network of the database, from 0.0.0.0 to
    // 255.255.255.255, instead of once per address.
    void walkAddressSpace(const Lookup& lookup);

    // Per code, its networks in ascending order; the pending range included.
    const std::map<std::string, std::vector<std::string>>& zones();

    // The fewest CIDR networks that cover first..last exactly.
    static std::vector<std::string> cidrBlocks(uint32_t first, uint32_t last);
    // Two ASCII letters: the database's other codes (none, anonymous
    // proxies, satellite links) name no country and get no file.
    static bool isCountryCode(const std::string& code);

private:
    void m_flush();

    std::map<std::string, std::vector<std::string>> m_zones;
    std::string m_code;
    uint64_t m_first = 0;
    uint64_t m_last = 0;
    bool m_pending = false;
};
