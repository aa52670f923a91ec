#include "ZoneAggregator.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint64_t kAddressCount = uint64_t{1} << 32;

std::string dotted(uint64_t address)
{
    return std::to_string((address >> 24) & 0xff) + '.' + std::to_string((address >> 16) & 0xff) + '.' +
           std::to_string((address >> 8) & 0xff) + '.' + std::to_string(address & 0xff);
}

} // namespace

void ZoneAggregator::add(uint32_t first, uint32_t last, const std::string& databaseCode)
{
    if (last < first)
        return;
    // Zone files and flag pictures are named in lower case.
    std::string code;
    if (isCountryCode(databaseCode)) {
        for (const char c : databaseCode)
            code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (m_pending && code == m_code && first == m_last + 1) {
        m_last = last;
        return;
    }
    m_flush();
    if (code.empty())
        return;
    m_code = code;
    m_first = first;
    m_last = last;
    m_pending = true;
}

void ZoneAggregator::walkAddressSpace(const Lookup& lookup)
{
    uint64_t address = 0;
    while (address < kAddressCount) {
        const Answer answer = lookup(static_cast<uint32_t>(address));
        // A length the database should never give still moves the walk on:
        // by one address at worst, never backwards.
        const int length = std::clamp(answer.prefixLength, 0, 32);
        const uint64_t size = uint64_t{1} << (32 - length);
        uint64_t next = (address & ~(size - 1)) + size;
        if (next <= address)
            next = address + 1;
        next = std::min(next, kAddressCount);
        add(static_cast<uint32_t>(address), static_cast<uint32_t>(next - 1), answer.code);
        address = next;
    }
}

const std::map<std::string, std::vector<std::string>>& ZoneAggregator::zones()
{
    m_flush();
    return m_zones;
}

std::vector<std::string> ZoneAggregator::cidrBlocks(uint32_t first, uint32_t last)
{
    std::vector<std::string> blocks;
    uint64_t start = first;
    const uint64_t end = uint64_t{last} + 1;
    while (start < end) {
        // The largest block that starts here, aligned, and ends in the range.
        int length = 32;
        while (length > 0) {
            const uint64_t size = uint64_t{1} << (32 - (length - 1));
            if ((start & (size - 1)) != 0 || start + size > end)
                break;
            --length;
        }
        blocks.push_back(dotted(start) + '/' + std::to_string(length));
        start += uint64_t{1} << (32 - length);
    }
    return blocks;
}

bool ZoneAggregator::isCountryCode(const std::string& code)
{
    return code.size() == 2 && std::isalpha(static_cast<unsigned char>(code[0])) &&
           std::isalpha(static_cast<unsigned char>(code[1])) && static_cast<unsigned char>(code[0]) < 0x80 &&
           static_cast<unsigned char>(code[1]) < 0x80;
}

void ZoneAggregator::m_flush()
{
    if (!m_pending)
        return;
    m_pending = false;
    auto& lines = m_zones[m_code];
    const auto blocks = cidrBlocks(static_cast<uint32_t>(m_first), static_cast<uint32_t>(m_last));
    lines.insert(lines.end(), blocks.begin(), blocks.end());
}
