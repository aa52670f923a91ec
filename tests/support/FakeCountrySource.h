#pragma once

#include "daemonlink/PAAlertLookups.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QStringList>

// Country zones, names and flags of a test's making, searched as the country
// table searches: the first zone line, in the order given, that holds the
// address. Filled before the look-ups start and only read by them.
class FakeCountrySource : public PACountrySource
{
public:
    void addZone(const QString& code, const QStringList& networks);
    void setName(const QString& upperCode, const QString& name);
    void setFlag(const QString& code, const QString& path);
    // The addresses searched, in order (look-ups run off the main thread).
    QStringList searchedAddresses() const;

    bool hasZones() const override;
    std::optional<QString> findCountryOfAddress(const QString& address,
                                                const TLMatchIP& matcher) const override;
    std::optional<QString> countryName(const QString& code) const override;
    QString flagImagePath(const QString& code) const override;

private:
    QList<QPair<QString, QStringList>> m_zones;
    QHash<QString, QString> m_names;
    QHash<QString, QString> m_flags;
    mutable QMutex m_mutex;
    mutable QStringList m_searched;
};

// Puts a country source in place as PACountrySource::shared() for one scope.
class ScopedCountrySource
{
public:
    explicit ScopedCountrySource(PACountrySource& source);
    ~ScopedCountrySource();
    ScopedCountrySource(const ScopedCountrySource&) = delete;
    ScopedCountrySource& operator=(const ScopedCountrySource&) = delete;

private:
    PACountrySource* m_previous;
};
