#pragma once

#include "platform/BinaryPlistWriter.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <limits>
#include <vector>

// A binary property list written value by value, with equal strings and
// numbers written once and shared, as PropertyList::toData() writes them: the
// same values added in the same order make toData()'s very bytes, without a
// value tree built first. A dictionary is reserved before its contents, and
// toData() adds each of its values before that value's key, keys in order.
class BinaryPlistBuilder
{
public:
    uint32_t string(const QString& text);
    uint32_t integer(int64_t value);
    // Beyond the signed range an integer takes the wider unsigned form.
    uint32_t unsignedInteger(uint64_t value);
    uint32_t real(double value);
    uint32_t boolean(bool value);
    // An array of strings.
    uint32_t strings(const QStringList& list);
    uint32_t array(const std::vector<uint32_t>& items) { return m_plist.addArray(items); }
    uint32_t reserve() { return m_plist.reserve(); }
    void setDictionary(uint32_t object, const std::vector<uint32_t>& keys,
                       const std::vector<uint32_t>& values)
    {
        m_plist.setDictionary(object, keys, values);
    }
    // Values that are never shared: data, dates, UIDs.
    BinaryPlistWriter& writer() { return m_plist; }
    QByteArray finish(uint32_t top) const { return m_plist.finish(top); }

private:
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

    BinaryPlistWriter m_plist;
    // Each plist type has its own table so that true never stands in for 1,
    // nor 1 for 1.0.
    QHash<QString, uint32_t> m_strings;
    QHash<int64_t, uint32_t> m_integers;
    QHash<uint64_t, uint32_t> m_reals;
    uint32_t m_booleans[2] = {kNone, kNone};
};
