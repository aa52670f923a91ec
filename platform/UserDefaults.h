#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// The agent's own preferences: a typed plist file, by default
// $XDG_CONFIG_HOME/zz.tolvane.PalisorAgent.plist. A value reads back with the
// type it was written with. Every change is written through at once, except
// inside a Batch, whose changes go out together in one write at its end.
class UserDefaults
{
public:
    // Holds the writes of a run of changes (the settings saved at exit): a
    // large file rewritten once per setting makes quitting take seconds.
    // Nested batches write once, at the end of the outermost.
    class Batch
    {
    public:
        explicit Batch(UserDefaults& defaults);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        UserDefaults& m_defaults;
    };

    explicit UserDefaults(QString filePath);

    static QString standardPath();
    static UserDefaults& standardUserDefaults();

    const QString& filePath() const;

    bool contains(const QString& key) const;
    // Invalid QVariant when the key is absent.
    QVariant objectForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    QByteArray dataForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;

    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key);
    void setInteger(qint64 value, const QString& key);
    void setDouble(double value, const QString& key);
    void setString(const QString& value, const QString& key);
    void removeObjectForKey(const QString& key);

    // Reads the file again (another process may have written it).
    void reload();
    // Writes the file now; false when it could not be written.
    bool synchronize();
    // How many times the file was written since this object was made.
    quint64 writeCount() const;

private:
    void m_load();
    bool m_save();
    void m_changed();

    QString m_filePath;
    mutable QMutex m_mutex;
    QVariantMap m_values;
    int m_batches = 0;
    bool m_held = false;
    quint64 m_writes = 0;
};
