#include "platform/BinaryPlistBuilder.h"

#include <bit>

namespace {

// The object already written for a value, or the one `add` writes now.
template <typename Key, typename Add> uint32_t shared(QHash<Key, uint32_t>& table, const Key& key, Add add)
{
    auto it = table.constFind(key);
    if (it != table.constEnd())
        return it.value();
    const uint32_t object = add();
    table.insert(key, object);
    return object;
}

} // namespace

uint32_t BinaryPlistBuilder::string(const QString& text)
{
    return shared(m_strings, text, [&] { return m_plist.addString(text); });
}

uint32_t BinaryPlistBuilder::integer(int64_t value)
{
    return shared(m_integers, value, [&] { return m_plist.addInteger(value); });
}

uint32_t BinaryPlistBuilder::unsignedInteger(uint64_t value)
{
    // Such values are too rare to be worth sharing.
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return m_plist.addUnsigned(value);
    return integer(static_cast<int64_t>(value));
}

uint32_t BinaryPlistBuilder::real(double value)
{
    return shared(m_reals, std::bit_cast<uint64_t>(value), [&] { return m_plist.addReal(value); });
}

uint32_t BinaryPlistBuilder::boolean(bool value)
{
    uint32_t& slot = m_booleans[value ? 1 : 0];
    if (slot == kNone)
        slot = m_plist.addBoolean(value);
    return slot;
}

uint32_t BinaryPlistBuilder::strings(const QStringList& list)
{
    std::vector<uint32_t> items;
    items.reserve(static_cast<size_t>(list.size()));
    for (const QString& item : list)
        items.push_back(string(item));
    return m_plist.addArray(items);
}
