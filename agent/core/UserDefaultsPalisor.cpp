#include "core/UserDefaultsPalisor.h"

#include "core/AgentLog.h"

#include <QVariantList>

std::optional<QColor> UserDefaultsPalisor::colorForKey(const UserDefaults& defaults, const QString& key)
{
    const QVariant value = defaults.objectForKey(key);
    if (value.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    const QVariantList parts = value.toList();
    if (parts.size() != 4)
        return std::nullopt;
    float components[4];
    for (int i = 0; i < 4; ++i) {
        const QVariant& part = parts.at(i);
        if (part.typeId() != QMetaType::Double && part.typeId() != QMetaType::LongLong)
            return std::nullopt;
        const double component = part.toDouble();
        if (!(component >= 0.0 && component <= 1.0))
            return std::nullopt;
        components[i] = static_cast<float>(component);
    }
    return QColor::fromRgbF(components[0], components[1], components[2], components[3]);
}

void UserDefaultsPalisor::setColor(UserDefaults& defaults, const std::optional<QColor>& color,
                                   const QString& key)
{
    if (!color || !color->isValid()) {
        defaults.removeObjectForKey(key);
        return;
    }
    const QColor rgb = color->toRgb();
    defaults.setObject(QVariantList{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()}, key);
}

std::optional<double> UserDefaultsPalisor::realForKey(const UserDefaults& defaults, const QString& key,
                                                      PARange range)
{
    const QVariant value = defaults.objectForKey(key);
    if (value.typeId() != QMetaType::Double)
        return std::nullopt;
    const double real = value.toDouble();
    if (range.contains(real))
        return real;
    qCWarning(lcConfiguration, "%s",
              qUtf8Printable(QStringLiteral("User defaults key \"%1\" holds %2, outside %3; ignored")
                                 .arg(key, PARange::text(real), range.text())));
    return std::nullopt;
}
