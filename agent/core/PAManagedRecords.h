#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QString>

// One Global Rule: an address, network, port or port range passed or blocked
// for every app. Main thread only.
class PAManagedRecords : public QObject
{
    Q_OBJECT

public:
    enum Type : qint64 {
        Address = 0,
        IPv4Network = 1,
        Port = 2,
        PortRange = 3,
        IPv6Network = 16,
    };

    PAManagedRecords(const QString& record, qint64 type, qint64 rule);

    // The rule's text exactly as typed ("low:high" for a port range).
    const QString& record() const { return m_record; }
    void setRecord(const QString& value);
    qint64 type() const { return m_type; }
    void setType(qint64 value);
    // 0 pass, 1 block.
    qint64 rule() const { return m_rule; }
    void setRule(qint64 value);
    const QIcon& image() const { return m_image; }
    void setImage(const QIcon& value);
    const QIcon& icon() const { return m_icon; }
    const QColor& labelColor() const { return m_labelColor; }
    void setLabelColor(const QColor& value);

    // Image and colour from the rule; a rule other than 0 and 1 changes nothing.
    void setRuleIcon();

signals:
    void changed();

private:
    QString m_record;
    qint64 m_type = 0;
    qint64 m_rule = 0;
    QIcon m_image;
    QIcon m_icon;
    QColor m_labelColor;
};
