#include "support/FakeCountrySource.h"

#include "core/TLMatchIP.h"

#include <QMutexLocker>

void FakeCountrySource::addZone(const QString& code, const QStringList& networks)
{
    m_zones.append({code, networks});
}

void FakeCountrySource::setName(const QString& upperCode, const QString& name)
{
    m_names.insert(upperCode, name);
}

void FakeCountrySource::setFlag(const QString& code, const QString& path)
{
    m_flags.insert(code, path);
}

QStringList FakeCountrySource::searchedAddresses() const
{
    QMutexLocker lock(&m_mutex);
    return m_searched;
}

bool FakeCountrySource::hasZones() const
{
    return !m_zones.isEmpty();
}

std::optional<QString> FakeCountrySource::findCountryOfAddress(const QString& address,
                                                               const TLMatchIP& matcher) const
{
    {
        QMutexLocker lock(&m_mutex);
        m_searched.append(address);
    }
    for (const auto& [code, networks] : m_zones)
        for (const QString& network : networks)
            if (!network.isEmpty() && matcher.matchIP(address, network))
                return code;
    return std::nullopt;
}

std::optional<QString> FakeCountrySource::countryName(const QString& code) const
{
    const auto found = m_names.constFind(code.toUpper());
    return found == m_names.cend() ? std::nullopt : std::optional<QString>(*found);
}

QString FakeCountrySource::flagImagePath(const QString& code) const
{
    return m_flags.value(code);
}

ScopedCountrySource::ScopedCountrySource(PACountrySource& source)
    : m_previous(&PACountrySource::shared())
{
    PACountrySource::setShared(&source);
}

ScopedCountrySource::~ScopedCountrySource()
{
    PACountrySource::setShared(m_previous);
}
