#include "mainwindow/PAAppearance.h"

#include "core/PAApplication.h"
#include "core/PAPreferenceTable.h"
#include "core/SharedState.h"
#include "platform/Resources.h"
#include "platform/SoundPlayer.h"
#include "platform/SystemColors.h"
#include "platform/widgets/ColorWell.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/Popover.h"
#include "ui_PAController.h"
#include "ui_PALegenda.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>

namespace {

// Paints a text in a label colour; an invalid colour gives the label back the
// palette's text colour, so it follows the theme.
void paintText(QLabel* label, const QColor& color)
{
    if (!label)
        return;
    if (!color.isValid()) {
        label->setPalette(QPalette());
        return;
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// An image of the chosen set; a missing one leaves `target` as it was.
void takeImage(QIcon& target, const QString& name)
{
    const QIcon image = Resources::image(name);
    if (!image.isNull())
        target = image;
}

} // namespace

PAAppearance::PAAppearance(Ui::PAController& form, QWidget* window, PAStateIcons& icons, QObject* parent)
    : QObject(parent)
    , m_form(form)
    , m_icons(icons)
    , m_legenda(new Ui::PALegenda)
{
    m_buildLegenda(window);
    connect(m_form.soundMenuBtn, &PopUpButton::itemChosen, this, [this] { selectSound(); });
    for (QAbstractButton* info :
         {static_cast<QAbstractButton*>(m_form.info_apps), static_cast<QAbstractButton*>(m_form.info_folders),
          static_cast<QAbstractButton*>(m_form.info_addr), static_cast<QAbstractButton*>(m_form.info_logs)})
        connect(info, &QAbstractButton::clicked, this, [this, info] { openLegenda(info); });
}

PAAppearance::~PAAppearance() = default;

const QStringList& PAAppearance::alertSoundNames()
{
    static const QStringList names{
        QStringLiteral("Basso"),     QStringLiteral("Blow"),  QStringLiteral("Bottle"),
        QStringLiteral("Frog"),      QStringLiteral("Funk"),  QStringLiteral("Glass"),
        QStringLiteral("Hero"),      QStringLiteral("Morse"), QStringLiteral("Ping"),
        QStringLiteral("Pop"),       QStringLiteral("Purr"),  QStringLiteral("Sosumi"),
        QStringLiteral("Submarine"), QStringLiteral("Tink"),
    };
    return names;
}

void PAAppearance::m_buildLegenda(QWidget* window)
{
    m_popoverLegenda = new Popover(window);
    m_popoverLegenda->setObjectName(QStringLiteral("popoverLegenda"));
    m_legendaView = new QWidget;
    m_legenda->setupUi(m_legendaView);
    m_popoverLegenda->setContentWidget(m_legendaView);
    for (qint64 state = 0; state <= 4; ++state) {
        ColorWell* stateWell = well(state);
        // The colour panel belongs to the main window: the legend is a popup
        // and closes as soon as the panel takes a click.
        stateWell->setPanelParent(window);
        connect(stateWell, &ColorWell::colorPicked, this, [this, stateWell] { selectColorWell(stateWell); });
    }
    connect(m_legenda->blackLabelsBtn, &QAbstractButton::clicked, this, [this] { setBlackLabels(); });
    connect(m_legenda->defaultColorsBtn, &QAbstractButton::clicked, this, [this] { restoreDefaultColors(); });
    connect(m_legenda->altIcons, &QAbstractButton::clicked, this, [this] { switchAltIcons(); });
    updateColorsInPopover();
}

QTabWidget* PAAppearance::legendaTabView() const
{
    return m_legenda->legendaTabView;
}

QCheckBox* PAAppearance::altIcons() const
{
    return m_legenda->altIcons;
}

ColorWell* PAAppearance::well(qint64 state) const
{
    switch (state) {
    case 0:
        return m_legenda->well0;
    case 1:
        return m_legenda->well1;
    case 2:
        return m_legenda->well2;
    case 3:
        return m_legenda->well3;
    case 4:
        return m_legenda->well4;
    default:
        return nullptr;
    }
}

void PAAppearance::m_paintStateTexts(qint64 state, const QColor& color)
{
    switch (state) {
    case 0:
        paintText(m_legenda->title0, color);
        paintText(m_legenda->ptit0, color);
        break;
    case 1:
        paintText(m_legenda->title1, color);
        paintText(m_legenda->ptit1, color);
        break;
    case 2:
        paintText(m_legenda->title2, color);
        paintText(m_legenda->ptit2, color);
        break;
    case 3:
        paintText(m_legenda->title3, color);
        paintText(m_legenda->ptit3, color);
        break;
    case 4:
        paintText(m_legenda->title4a, color);
        paintText(m_legenda->title4b, color);
        paintText(m_legenda->title4c, color);
        paintText(m_legenda->ptit4, color);
        break;
    default:
        break;
    }
}

void PAAppearance::updateColorsInPopover()
{
    for (qint64 state = 0; state <= 4; ++state) {
        const QColor& color = labelColorOfState(state);
        if (ColorWell* stateWell = well(state))
            stateWell->setColor(color);
        m_paintStateTexts(state, color);
    }
    emit labelColorsChanged();
}

void PAAppearance::updateAllAppsLabelsColors()
{
    for (const auto& app : sharedAppsLibrary)
        if (app)
            app->setAppLabelColor(labelColorOfState(app->appIsBlockedOrAllowed()));
}

void PAAppearance::selectIconsStyle()
{
    const bool alternate = userDefaults().boolForKey(QStringLiteral("UseAlternateIcons"));
    const QString prefix = alternate ? QStringLiteral("alt") : QString();
    takeImage(passedUpImage(), prefix + QStringLiteral("passedup"));
    takeImage(blockedUpImage(), prefix + QStringLiteral("blockedup"));
    m_icons.globalpassedupIcon = passedUpImage();
    m_icons.globalblockedupIcon = blockedUpImage();
    takeImage(m_icons.globalapp4Icon, prefix + QStringLiteral("app4"));
    takeImage(m_icons.globalapp4passIcon, prefix + QStringLiteral("app4pass"));
    takeImage(m_icons.globalapp4blockIcon, prefix + QStringLiteral("app4block"));
    const int side = m_legenda->iconPassed->maximumWidth();
    const std::pair<QLabel*, const QIcon*> legendIcons[] = {
        {m_legenda->iconPassed, &m_icons.globalpassedupIcon},
        {m_legenda->iconBlocked, &m_icons.globalblockedupIcon},
        {m_legenda->iconPassedExceptions, &m_icons.globalpassedupIcon},
        {m_legenda->iconBlockedExceptions, &m_icons.globalblockedupIcon},
        {m_legenda->iconAsk, &m_icons.globalapp4Icon},
        {m_legenda->iconAskPass, &m_icons.globalapp4passIcon},
        {m_legenda->iconAskBlock, &m_icons.globalapp4blockIcon},
    };
    for (const auto& [label, icon] : legendIcons)
        label->setPixmap(icon->pixmap(side, side));
    emit stateIconsChanged();
}

void PAAppearance::updateAltIconsBtn()
{
    m_legenda->altIcons->setChecked(userDefaults().boolForKey(QStringLiteral("UseAlternateIcons")));
}

void PAAppearance::switchAltIcons()
{
    userDefaults().setBool(m_legenda->altIcons->isChecked(), QStringLiteral("UseAlternateIcons"));
    selectIconsStyle();
    emit iconSetSwitched();
}

void PAAppearance::selectColorWell(QObject* sender)
{
    qint64 state = 0;
    for (qint64 candidate : {4, 3, 2, 1}) {
        if (sender && sender == well(candidate)) {
            state = candidate;
            break;
        }
    }
    auto* picked = qobject_cast<ColorWell*>(sender);
    if (!picked)
        return;
    labelColorOfState(state) = picked->color();
    m_paintStateTexts(state, picked->color());
    updateAllAppsLabelsColors();
    emit labelColorsChanged();
}

void PAAppearance::setBlackLabels()
{
    for (qint64 state = 0; state <= 4; ++state)
        labelColorOfState(state) = SystemColors::labelColor();
    updateColorsInPopover();
    updateAllAppsLabelsColors();
}

void PAAppearance::restoreDefaultColors()
{
    labelColor0() = PASettings::initialColor("color0");
    labelColor1() = PASettings::initialColor("color1");
    labelColor2() = PASettings::initialColor("color2");
    labelColor3() = PASettings::initialColor("color3");
    labelColor4() = PASettings::initialColor("color4b");
    updateColorsInPopover();
    updateAllAppsLabelsColors();
}

void PAAppearance::populateSoundMenu()
{
    for (const QString& name : alertSoundNames())
        m_form.soundMenuBtn->addItemWithTitle(name);
    showSoundInUse();
}

void PAAppearance::showSoundInUse()
{
    // The pop-up shows the sound in use, not merely the first one offered.
    for (int i = 0; i < m_form.soundMenuBtn->numberOfItems(); ++i) {
        if (PopUpButton::itemTitle(m_form.soundMenuBtn->itemAtIndex(i)) == soundName) {
            m_form.soundMenuBtn->selectItemAtIndex(i);
            return;
        }
    }
}

void PAAppearance::selectSound()
{
    if (!m_form.soundMenuBtn->selectedItem())
        return;
    const QString title = m_form.soundMenuBtn->titleOfSelectedItem();
    soundName = title;
    SoundPlayer::shared().playSystemSound(title + QStringLiteral(".aiff"));
}

void PAAppearance::openLegenda(QObject* sender)
{
    QTabWidget* pages = m_legenda->legendaTabView;
    const int tab = m_form.mainTabView->currentIndex();
    if (tab >= 0 && tab < pages->count())
        pages->setCurrentIndex(tab);
    if (sender && sender == m_form.info_apps) {
        pages->setCurrentIndex(0);
        updateAltIconsBtn();
    } else if (sender && sender == m_form.info_folders) {
        pages->setCurrentIndex(1);
    } else if (sender && sender == m_form.info_addr) {
        pages->setCurrentIndex(3);
    } else if (sender && sender == m_form.info_logs) {
        pages->setCurrentIndex(2);
    } else if (sender && sender == info_apprules) {
        pages->setCurrentIndex(4);
        if (appPopover)
            appPopover->setBehavior(Popover::Behavior::Transient);
    }
    m_showLegendaFrom(sender);
}

void PAAppearance::openExclusionsLegenda(QObject* sender)
{
    m_legenda->legendaTabView->setCurrentWidget(m_legenda->exclusionsLegendaTabViewItem);
    m_showLegendaFrom(sender);
}

void PAAppearance::m_showLegendaFrom(QObject* sender)
{
    // Shown beside the button that asked; with no view to point at, not at all.
    if (auto* view = qobject_cast<QWidget*>(sender))
        m_popoverLegenda->showRelativeTo(QRect(), view);
}
