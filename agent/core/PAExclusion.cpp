#include "core/PAExclusion.h"

#include "core/SharedState.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"

PAExclusion::PAExclusion(const QString& path, qint64 rule, bool ignored, bool hardcoded)
    : m_path(path)
    , m_rule(rule)
    , m_ignored(ignored)
    , m_hardcoded(hardcoded)
    , m_labelColor(SystemColors::controlTextColor())
    , m_iconPath(path)
{
    setRuleIcon();
    // A built-in rule stays grey until the rule colours are applied again.
    if (m_hardcoded)
        m_labelColor = SystemColors::grey();
}

const QIcon& PAExclusion::icon() const
{
    if (!m_iconLooked) {
        m_icon = m_iconPath == QLatin1String("/") ? Resources::systemImage(QStringLiteral("NSComputer"))
                                                  : Workspace::iconForFile(m_iconPath);
        m_iconLooked = true;
    }
    return m_icon;
}

void PAExclusion::setPath(const QString& value)
{
    m_path = value;
    emit changed();
}

void PAExclusion::setRule(qint64 value)
{
    m_rule = value;
    emit changed();
}

void PAExclusion::setIgnored(bool value)
{
    m_ignored = value;
    emit changed();
}

void PAExclusion::setHardcoded(bool value)
{
    m_hardcoded = value;
    emit changed();
}

void PAExclusion::setLabelColor(const QColor& value)
{
    m_labelColor = value;
    emit changed();
}

void PAExclusion::setIsSelected(bool value)
{
    m_isSelected = value;
    emit changed();
}

void PAExclusion::setRuleIcon()
{
    if (m_rule != 0) {
        m_ruleImage = blockedUpImage();
        m_buttonImage = Resources::systemImage(QStringLiteral("NSLockLockedTemplate"));
        m_labelColor = SystemColors::red();
    } else {
        m_ruleImage = passedUpImage();
        m_buttonImage = Resources::systemImage(QStringLiteral("NSLockUnlockedTemplate"));
        m_labelColor = SystemColors::controlTextColor();
    }
    emit changed();
}
