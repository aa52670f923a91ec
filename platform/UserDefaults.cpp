#include "platform/UserDefaults.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <cmath>
#include <limits>

namespace {

// Out-of-range doubles are clamped: a cast would be undefined.
qint64 truncated(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 0x1p63)
        return std::numeric_limits<qint64>::max();
    if (value < -0x1p63)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(value);
}

qint64 integerFromString(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    const qint64 integer = trimmed.toLongLong(&ok);
    if (ok)
        return integer;
    const double real = trimmed.toDouble(&ok);
    return ok ? truncated(real) : 0;
}

// The first free name of "<file>.corrupt", "<file>.corrupt.1", ... so that an
// earlier unreadable file is never replaced by a later one.
QString corruptPathFor(const QString& filePath)
{
    const QString base = filePath + QStringLiteral(".corrupt");
    QString candidate = base;
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = base + QLatin1Char('.') + QString::number(n);
    return candidate;
}

} // namespace

UserDefaults::UserDefaults(QString filePath)
    : m_filePath(std::move(filePath))
{
    m_load();
}

QString UserDefaults::standardPath()
{
    QString folder = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (folder.isEmpty())
        folder = Paths::home() + QStringLiteral("/.config");
    return folder + QStringLiteral("/zz.tolvane.PalisorAgent.plist");
}

UserDefaults& UserDefaults::standardUserDefaults()
{
    static UserDefaults defaults(standardPath());
    return defaults;
}

const QString& UserDefaults::filePath() const
{
    return m_filePath;
}

bool UserDefaults::contains(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.contains(key);
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.value(key);
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return {};
    }
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::LongLong:
        return value.toLongLong() != 0;
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        return integerFromString(text) != 0;
    }
    default:
        return false;
    }
}

qint64 UserDefaults::integerForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Double:
        return truncated(value.toDouble());
    case QMetaType::QString:
        return integerFromString(value.toString());
    default:
        return 0;
    }
}

double UserDefaults::doubleForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::LongLong:
        return static_cast<double>(value.toLongLong());
    case QMetaType::Bool:
        return value.toBool() ? 1.0 : 0.0;
    case QMetaType::QString: {
        bool ok = false;
        const double real = value.toString().trimmed().toDouble(&ok);
        return ok ? real : 0.0;
    }
    default:
        return 0.0;
    }
}

QByteArray UserDefaults::dataForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
}

QVariantList UserDefaults::arrayForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    // Kept in memory exactly as it will read back from the file (an int becomes
    // a 64-bit integer, a string list an array), and refused when the file
    // could not hold it, so one bad value never makes the whole file unwritable.
    const std::optional<QVariant> stored =
        PropertyList::fromData(PropertyList::toData(value, PropertyList::Format::Binary));
    if (!stored) {
        qCWarning(lcDefaults).noquote()
            << "UserDefaults:"
            << QStringLiteral("value of type %1 for key \"%2\" cannot be stored; ignored")
                   .arg(QString::fromLatin1(value.typeName()), key);
        return;
    }
    QMutexLocker lock(&m_mutex);
    m_values.insert(key, *stored);
    m_changed();
}

void UserDefaults::setBool(bool value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setInteger(qint64 value, const QString& key)
{
    setObject(QVariant(static_cast<qlonglong>(value)), key);
}

void UserDefaults::setDouble(double value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setString(const QString& value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::removeObjectForKey(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    if (m_values.remove(key) > 0)
        m_changed();
}

void UserDefaults::reload()
{
    QMutexLocker lock(&m_mutex);
    m_load();
}

bool UserDefaults::synchronize()
{
    QMutexLocker lock(&m_mutex);
    return m_save();
}

quint64 UserDefaults::writeCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_writes;
}

UserDefaults::Batch::Batch(UserDefaults& defaults)
    : m_defaults(defaults)
{
    QMutexLocker lock(&m_defaults.m_mutex);
    ++m_defaults.m_batches;
}

UserDefaults::Batch::~Batch()
{
    QMutexLocker lock(&m_defaults.m_mutex);
    if (--m_defaults.m_batches == 0 && m_defaults.m_held)
        m_defaults.m_save();
}

// Called with m_mutex held.
void UserDefaults::m_changed()
{
    if (m_batches > 0)
        m_held = true;
    else
        m_save();
}

// Called with m_mutex held (or from the constructor).
void UserDefaults::m_load()
{
    m_values.clear();
    if (!QFileInfo::exists(m_filePath))
        return;
    QString error;
    const std::optional<QVariant> root = PropertyList::readFile(m_filePath, &error);
    if (root && root->typeId() == QMetaType::QVariantMap) {
        m_values = root->toMap();
        return;
    }
    if (root)
        error = QStringLiteral("the top level is not a dictionary");
    // What the user saved is kept aside, never overwritten by the next change.
    const QString aside = corruptPathFor(m_filePath);
    if (QFile::rename(m_filePath, aside))
        qCWarning(lcDefaults).noquote()
            << "UserDefaults:"
            << QStringLiteral("%1 is unreadable (%2); kept it as %3 and started with empty preferences")
                   .arg(m_filePath, error, aside);
    else
        qCWarning(lcDefaults).noquote()
            << "UserDefaults:"
            << QStringLiteral("%1 is unreadable (%2) and could not be moved to %3; "
                              "started with empty preferences")
                   .arg(m_filePath, error, aside);
}

// Called with m_mutex held.
bool UserDefaults::m_save()
{
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder)) {
        qCWarning(lcDefaults).noquote()
            << "UserDefaults:" << QStringLiteral("cannot create %1; preferences not saved").arg(folder);
        return false;
    }
    QString error;
    if (!PropertyList::writeFile(m_filePath, m_values, PropertyList::Format::Xml, &error)) {
        qCWarning(lcDefaults).noquote()
            << "UserDefaults:" << QStringLiteral("cannot write %1 (%2)").arg(m_filePath, error);
        return false;
    }
    // What a batch held is on disk now, whoever wrote it.
    m_held = false;
    ++m_writes;
    return true;
}
