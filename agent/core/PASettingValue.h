#pragma once

#include <QString>

#include <type_traits>
#include <utility>

namespace PASettings {

// Tells the settings table (PASettingsTable) that the setting of that name
// took a new value. Any thread; the table signals on the main thread.
void announceChange(const char* name);

} // namespace PASettings

// What every setting holds: its name and value. It reads as the value, so
// the code that reads a setting reads it by name as before; every write goes
// through here, and a write that changes the value is announced, so a view
// can follow the setting instead of waiting to be told by the writer.
template <typename T> class PASettingBase
{
public:
    constexpr PASettingBase(const char* name, T initial)
        : m_name(name)
        , m_value(std::move(initial))
    {
    }
    // A copy (a lambda returning a setting, a braced list of settings) is a
    // plain value: it belongs to no setting, and writing it announces nothing.
    constexpr PASettingBase(const PASettingBase& other)
        : m_name(nullptr)
        , m_value(other.m_value)
    {
    }
    PASettingBase& operator=(const PASettingBase& other) { return *this = other.m_value; }

    PASettingBase& operator=(const T& value)
    {
        // Stored even when equal (0.0 and -0.0, an empty text and a null
        // one), announced only when not.
        const bool changed = m_value != value;
        m_value = value;
        if (changed && m_name)
            PASettings::announceChange(m_name);
        return *this;
    }
    operator const T&() const { return m_value; }
    const T& value() const { return m_value; }
    const char* name() const { return m_name; }

    // The variable itself, for the table's typed rows. A write here announces
    // nothing: the table announces its own writes.
    T* storage() { return &m_value; }

private:
    const char* m_name;
    T m_value;
};

// A setting of a number or a truth value.
template <typename T> class PASettingValue : public PASettingBase<T>
{
    static_assert(std::is_arithmetic_v<T>, "text settings have their own form below");

public:
    // constexpr, so a setting of a number holds its value at start before any
    // code runs, as a plain variable would.
    constexpr PASettingValue(const char* name, T initial)
        : PASettingBase<T>(name, initial)
    {
    }
    using PASettingBase<T>::operator=;

    PASettingValue& operator+=(const T& step)
    {
        *this = T(this->value() + step);
        return *this;
    }
    PASettingValue& operator-=(const T& step)
    {
        *this = T(this->value() - step);
        return *this;
    }
};

// A setting of text. It offers what the code reads of a QString and turns
// into a const QString& wherever one is taken; whatever changes the text is
// a member here, so no change escapes the announcement.
template <> class PASettingValue<QString> : public PASettingBase<QString>
{
public:
    PASettingValue(const char* name, QString initial)
        : PASettingBase<QString>(name, std::move(initial))
    {
    }
    using PASettingBase<QString>::operator=;
    void clear() { *this = QString(); }

    bool isEmpty() const { return value().isEmpty(); }
    bool isNull() const { return value().isNull(); }
    qsizetype size() const { return value().size(); }
    bool contains(const QString& text, Qt::CaseSensitivity cs = Qt::CaseSensitive) const
    {
        return value().contains(text, cs);
    }
    bool startsWith(const QString& text, Qt::CaseSensitivity cs = Qt::CaseSensitive) const
    {
        return value().startsWith(text, cs);
    }
    bool endsWith(const QString& text, Qt::CaseSensitivity cs = Qt::CaseSensitive) const
    {
        return value().endsWith(text, cs);
    }
    QByteArray toUtf8() const { return value().toUtf8(); }
    std::string toStdString() const { return value().toStdString(); }

    // Compared as its text.
    friend bool operator==(const PASettingValue& setting, const QString& other)
    {
        return setting.value() == other;
    }
    friend bool operator==(const PASettingValue& setting, QLatin1StringView other)
    {
        return setting.value() == other;
    }
    friend bool operator==(const PASettingValue& setting, const char* other)
    {
        return setting.value() == other;
    }
};
