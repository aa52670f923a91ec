#include "mainwindow/PAAppItemDelegate.h"

#include "core/PAApplication.h"
#include "core/SharedState.h"
#include "platform/Resources.h"
#include "platform/UserDefaults.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRadialGradient>
#include <QTextCharFormat>
#include <QTextLayout>

#include <optional>

namespace {

constexpr QSize normalItemSize(112, 118);
constexpr QSize miniItemSize(240, 36);
constexpr int normalIconSide = 64;
constexpr int normalStateSide = 24;
constexpr int miniIconSide = 28;
constexpr int miniStateSide = 18;
constexpr int normalNameLines = 2;

// Lays `text` out in at most `maxLines` lines of `width`, the last one elided,
// so a long name keeps its beginning readable instead of being cut mid-glyph.
QStringList wrappedLines(const QString& text, const QFont& font, int width, int maxLines)
{
    const QFontMetrics metrics(font);
    QStringList lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (lines.size() < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

QString displayName(const PAApplication& app)
{
    if (!app.appLocalizedName().isEmpty())
        return app.appLocalizedName();
    return app.appName();
}

// The search highlight within `name`, or none when the app's range does not
// lie inside it (the name changed since the search, say).
std::optional<PAApplication::TextRange> highlightIn(const PAApplication& app, const QString& name)
{
    const PAApplication::TextRange range = app.appNameHighlight();
    if (range.isEmpty() || name != app.appLocalizedName() || range.start < 0 || range.start >= name.size() ||
        range.length > name.size() - range.start)
        return std::nullopt;
    return range;
}

// Draws a name the search found: the whole name on a pale yellow, the part
// found in bold black on yellow, at most `maxLines` lines of `box`.
void drawHighlightedName(QPainter* painter, const QRect& box, const QString& name,
                         const PAApplication::TextRange& range, const QFont& font, const QColor& colour,
                         bool centred, int maxLines, int matchPointSize)
{
    QTextCharFormat whole;
    whole.setForeground(colour);
    whole.setBackground(QColor::fromRgbF(1.0f, 0.9f, 0.05f, 0.3f));
    QTextCharFormat match;
    QFont bold = font;
    bold.setBold(true);
    bold.setPointSize(matchPointSize);
    match.setFont(bold);
    match.setForeground(QColor(Qt::black));
    match.setBackground(QColor(Qt::yellow));

    QTextLayout layout(name, font);
    QTextOption option;
    option.setWrapMode(centred ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    option.setAlignment(centred ? Qt::AlignHCenter : Qt::AlignLeft);
    layout.setTextOption(option);
    layout.setFormats({{0, static_cast<int>(name.size()), whole},
                       {static_cast<int>(range.start), static_cast<int>(range.length), match}});
    qreal height = 0;
    layout.beginLayout();
    for (int lines = 0; lines < maxLines; ++lines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(box.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    const qreal top = centred ? box.top() : box.top() + (box.height() - height) / 2;
    painter->save();
    painter->setClipRect(box);
    layout.draw(painter, QPointF(box.left(), top));
    painter->restore();
}

} // namespace

PAAppItemDelegate::PAAppItemDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
    reloadStateImages();
}

PAAppItemDelegate::~PAAppItemDelegate() = default;

bool PAAppItemDelegate::isMiniStyle(const QString& style)
{
    return style == QLatin1String("mini");
}

QSize PAAppItemDelegate::itemSizeForStyle(const QString& style)
{
    return isMiniStyle(style) ? miniItemSize : normalItemSize;
}

void PAAppItemDelegate::setItemStyle(const QString& style)
{
    m_mini = isMiniStyle(style);
}

QSize PAAppItemDelegate::itemSize() const
{
    return m_mini ? miniItemSize : normalItemSize;
}

void PAAppItemDelegate::reloadStateImages()
{
    const bool alternate = userDefaults().boolForKey(QStringLiteral("UseAlternateIcons"));
    const QString prefix = alternate ? QStringLiteral("alt") : QString();
    // The ask images are optional: without them the marker is drawn here.
    m_askImage = Resources::image(prefix + QStringLiteral("app4"));
    m_askPassImage = Resources::image(prefix + QStringLiteral("app4pass"));
    m_askBlockImage = Resources::image(prefix + QStringLiteral("app4block"));
}

QSize PAAppItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return itemSize();
}

void PAAppItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    const auto* app = qvariant_cast<PAApplication*>(index.data(ApplicationRole));
    if (!app)
        return;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect item = option.rect;

    const bool selected = option.state & QStyle::State_Selected;
    const QRect iconBox = m_mini ? item.adjusted(2, 2, -2, -2)
                                 : QRect(item.center().x() - normalIconSide / 2 - 5, item.top() + 1,
                                         normalIconSide + 12, normalIconSide + 12);
    if (selected) {
        // In the grid only the icon is boxed, so the coloured name never sits on
        // the selection colour, where red on a dark highlight would be hard to read.
        QColor highlight = option.palette.color(QPalette::Active, QPalette::Highlight);
        highlight.setAlphaF(m_mini ? 0.28f : 0.4f);
        painter->setPen(Qt::NoPen);
        painter->setBrush(highlight);
        painter->drawRoundedRect(QRectF(iconBox), 8, 8);
    }

    const QColor nameColour =
        app->appLabelColor().isValid() ? app->appLabelColor() : option.palette.color(QPalette::Text);
    const QString name = displayName(*app);
    const QFont font = option.font;
    painter->setFont(font);
    const QFontMetrics metrics(font);

    if (m_mini) {
        const QRect icon(item.left() + 6, item.center().y() - miniIconSide / 2 + 1, miniIconSide,
                         miniIconSide);
        const QRect state(item.right() - 6 - miniStateSide, item.center().y() - miniStateSide / 2 + 1,
                          miniStateSide, miniStateSide);
        app->appImage().paint(painter, icon);
        m_paintStateImage(painter, state, *app);
        const QRect text(icon.right() + 8, item.top(), state.left() - 6 - (icon.right() + 8), item.height());
        if (const auto highlight = highlightIn(*app, name)) {
            drawHighlightedName(painter, text, name, *highlight, font, nameColour, false, 1, 14);
        } else {
            painter->setPen(nameColour);
            painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                              metrics.elidedText(name, Qt::ElideRight, text.width()));
        }
    } else {
        const QRect icon(item.center().x() - normalIconSide / 2 + 1, item.top() + 6, normalIconSide,
                         normalIconSide);
        app->appImage().paint(painter, icon);
        const QRect state(icon.right() - normalStateSide + 6, icon.bottom() - normalStateSide + 6,
                          normalStateSide, normalStateSide);
        m_paintStateImage(painter, state, *app);
        const int textWidth = item.width() - 8;
        int y = icon.bottom() + 9;
        if (const auto highlight = highlightIn(*app, name)) {
            drawHighlightedName(painter, QRect(item.left() + 4, y, textWidth, item.bottom() - y), name,
                                *highlight, font, nameColour, true, normalNameLines, 12);
        } else {
            const QStringList lines = wrappedLines(name, font, textWidth, normalNameLines);
            painter->setPen(nameColour);
            for (const QString& line : lines) {
                painter->drawText(QRect(item.left() + 4, y, textWidth, metrics.height()),
                                  Qt::AlignHCenter | Qt::AlignTop, line);
                y += metrics.lineSpacing();
            }
        }
    }
    painter->restore();
}

void PAAppItemDelegate::m_paintStateImage(QPainter* painter, const QRect& rect,
                                          const PAApplication& app) const
{
    if (app.appRedShadow())
        m_paintGlow(painter, rect, QColor(255, 0, 0));
    else if (app.appGreenShadow())
        m_paintGlow(painter, rect, QColor(0, 204, 0));

    if (app.appIsYellow()) {
        const QIcon& image = app.appIsQuietPass()    ? m_askPassImage
                             : app.appIsQuietBlock() ? m_askBlockImage
                                                     : m_askImage;
        if (image.isNull())
            m_paintAskMarker(painter, rect, app);
        else
            image.paint(painter, rect);
        return;
    }
    (app.appIsBlocked() ? blockedUpImage() : passedUpImage()).paint(painter, rect);
}

void PAAppItemDelegate::m_paintGlow(QPainter* painter, const QRect& rect, const QColor& colour) const
{
    const QPointF centre = QRectF(rect).center();
    const qreal radius = rect.width() * 0.85;
    QRadialGradient gradient(centre, radius);
    QColor inner = colour;
    inner.setAlphaF(0.85f);
    QColor outer = colour;
    outer.setAlphaF(0.0f);
    gradient.setColorAt(0.45, inner);
    gradient.setColorAt(1.0, outer);
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(gradient);
    painter->drawEllipse(centre, radius, radius);
    painter->restore();
}

void PAAppItemDelegate::m_paintAskMarker(QPainter* painter, const QRect& rect, const PAApplication& app) const
{
    // A yellow disc with a question mark; a quiet period rings it in the
    // colour of what passes for the answer meanwhile.
    const QRectF disc = QRectF(rect).adjusted(1, 1, -1, -1);
    QColor ring(0xB0, 0x8A, 0x00);
    if (app.appIsQuietPass())
        ring = QColor(0x1F, 0x9A, 0x45);
    else if (app.appIsQuietBlock())
        ring = QColor(0xD0, 0x20, 0x20);
    const bool quiet = app.appIsQuietPass() || app.appIsQuietBlock();
    painter->save();
    painter->setPen(QPen(ring, quiet ? rect.width() / 8.0 : 1.0));
    painter->setBrush(QColor(0xFF, 0xD4, 0x1F));
    painter->drawEllipse(disc);
    QFont font = painter->font();
    font.setBold(true);
    font.setPixelSize(qMax(8, static_cast<int>(rect.height() * 0.62)));
    painter->setFont(font);
    painter->setPen(QColor(0x4A, 0x3A, 0x00));
    painter->drawText(disc, Qt::AlignCenter, QStringLiteral("?"));
    painter->restore();
}
