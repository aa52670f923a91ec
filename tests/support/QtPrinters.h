#pragma once

#include "core/PASettingValue.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <ostream>

// Readable failure messages for the Qt types tests compare.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// A text setting, as its text.
inline void PrintTo(const PASettingValue<QString>& text, std::ostream* out)
{
    PrintTo(text.value(), out);
}

inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '{';
    for (qsizetype i = 0; i < list.size(); ++i)
        *out << (i ? ", \"" : "\"") << list.at(i).toStdString() << '"';
    *out << '}';
}
