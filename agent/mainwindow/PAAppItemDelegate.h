#pragma once

#include <QIcon>
#include <QSize>
#include <QString>
#include <QStyledItemDelegate>

class PAApplication;

// Draws one managed app of the apps view: its icon, its name in the colour of
// its rule state and the state image (pass, block, or the yellow ask marker),
// with a red glow when a passed app has blocked exceptions and a green one when
// a blocked app has passed exceptions. "normal" is the icon grid, "mini" the
// compact one-line list; each style has one fixed item size.
class PAAppItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The model role under which the view's model hands out the PAApplication*.
    static constexpr int ApplicationRole = Qt::UserRole + 1;

    explicit PAAppItemDelegate(QObject* parent = nullptr);
    ~PAAppItemDelegate() override;

    // "mini" picks the compact style; any other name the normal one.
    static QSize itemSizeForStyle(const QString& style);
    static bool isMiniStyle(const QString& style);

    void setItemStyle(const QString& style);
    QString itemStyle() const { return m_mini ? QStringLiteral("mini") : QStringLiteral("normal"); }
    QSize itemSize() const;

    // Reloads the ask images of the chosen icon set ("UseAlternateIcons"); the
    // pass and block images are the shared ones and are read at every paint.
    void reloadStateImages();

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void m_paintStateImage(QPainter* painter, const QRect& rect, const PAApplication& app) const;
    void m_paintAskMarker(QPainter* painter, const QRect& rect, const PAApplication& app) const;
    void m_paintGlow(QPainter* painter, const QRect& rect, const QColor& colour) const;

    bool m_mini = false;
    QIcon m_askImage;
    QIcon m_askPassImage;
    QIcon m_askBlockImage;
};
