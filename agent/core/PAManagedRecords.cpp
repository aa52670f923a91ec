#include "core/PAManagedRecords.h"

#include "core/SharedState.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"

namespace {

QString typeImageName(qint64 type)
{
    switch (type) {
    case PAManagedRecords::IPv4Network:
    case PAManagedRecords::IPv6Network:
        return QStringLiteral("icon_subnet");
    case PAManagedRecords::Port:
        return QStringLiteral("icon_port");
    case PAManagedRecords::PortRange:
        return QStringLiteral("icon_portrange");
    default:
        return QStringLiteral("icon_ip");
    }
}

} // namespace

PAManagedRecords::PAManagedRecords(const QString& record, qint64 type, qint64 rule)
    : m_record(record)
    , m_type(type)
    , m_rule(rule)
{
    setRuleIcon();
    m_icon = Resources::image(typeImageName(m_type));
}

void PAManagedRecords::setRecord(const QString& value)
{
    m_record = value;
    emit changed();
}

void PAManagedRecords::setType(qint64 value)
{
    m_type = value;
    emit changed();
}

void PAManagedRecords::setRule(qint64 value)
{
    m_rule = value;
    emit changed();
}

void PAManagedRecords::setImage(const QIcon& value)
{
    m_image = value;
    emit changed();
}

void PAManagedRecords::setLabelColor(const QColor& value)
{
    m_labelColor = value;
    emit changed();
}

void PAManagedRecords::setRuleIcon()
{
    // Unlike a Managed Folder, a Global Rule with an unknown rule keeps what
    // it showed before.
    if (m_rule == 0) {
        setImage(passedUpImage());
        setLabelColor(SystemColors::controlTextColor());
    } else if (m_rule == 1) {
        setImage(blockedUpImage());
        setLabelColor(SystemColors::red());
    }
}
