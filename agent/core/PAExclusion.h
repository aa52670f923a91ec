#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QString>

// One Managed Folder: a path whose apps the daemon passes or blocks without
// asking. Main thread only.
class PAExclusion : public QObject
{
    Q_OBJECT

public:
    PAExclusion(const QString& path, qint64 rule, bool ignored, bool hardcoded);

    const QString& path() const { return m_path; }
    void setPath(const QString& value);
    // 0 pass, 1 block; any value but 0 shows as block.
    qint64 rule() const { return m_rule; }
    void setRule(qint64 value);
    bool ignored() const { return m_ignored; }
    void setIgnored(bool value);
    bool hardcoded() const { return m_hardcoded; }
    void setHardcoded(bool value);
    const QIcon& ruleImage() const { return m_ruleImage; }
    const QIcon& ignoreImage() const { return m_ignoreImage; }
    const QColor& labelColor() const { return m_labelColor; }
    void setLabelColor(const QColor& value);
    const QIcon& buttonImage() const { return m_buttonImage; }
    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool value);
    // The file manager's icon for the path the folder was made with, looked
    // up when first shown: a load makes hundreds of folders, and the icon
    // theme answers slowly.
    const QIcon& icon() const;

    // Images and colour from the rule; also when the status-image style changes.
    void setRuleIcon();

signals:
    void changed();

private:
    QString m_path;
    qint64 m_rule = 0;
    bool m_ignored = false;
    bool m_hardcoded = false;
    QIcon m_ruleImage;
    QIcon m_ignoreImage;
    QColor m_labelColor;
    QIcon m_buttonImage;
    bool m_isSelected = false;
    mutable QIcon m_icon;
    mutable bool m_iconLooked = false;
    // icon() shows the path as it was when the folder was made.
    QString m_iconPath;
};
