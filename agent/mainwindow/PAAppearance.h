#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class ColorWell;
class Popover;
class QAbstractButton;
class QCheckBox;
class QTabWidget;
class QWidget;

namespace Ui {
class PAController;
class PALegenda;
} // namespace Ui

// The state icons of the chosen set ("UseAlternateIcons"); the ask icons are
// null where the set has none. The main window's controller carries them
// under these names.
struct PAStateIcons
{
    QIcon globalpassedupIcon;
    QIcon globalblockedupIcon;
    QIcon globalapp4Icon;
    QIcon globalapp4passIcon;
    QIcon globalapp4blockIcon;
};

// The main window's appearance: the label colours of the rule states and
// their wells, the icon sets, the alert sound's pop-up, and the legend
// popover with its pages. Main thread only.
class PAAppearance : public QObject
{
    Q_OBJECT

public:
    // `form` is the main window's; the legend and the colour panel belong to
    // `window`; the chosen icons go into `icons`.
    PAAppearance(Ui::PAController& form, QWidget* window, PAStateIcons& icons, QObject* parent = nullptr);
    ~PAAppearance() override;

    // The rules popover and its legend button: the legend opened from there
    // shows the popover's page and lets a click close the popover.
    QPointer<Popover> appPopover;
    QPointer<QAbstractButton> info_apprules;

    void updateColorsInPopover();
    void updateAllAppsLabelsColors();
    void selectIconsStyle();
    void updateAltIconsBtn();
    // Takes the alternate icons switch's choice; the editors' icons follow
    // iconSetSwitched().
    void switchAltIcons();
    // Takes the sending well's colour as its state's colour.
    void selectColorWell(QObject* sender);
    void setBlackLabels();
    void restoreDefaultColors();
    void populateSoundMenu();
    // Shows the sound in use, not merely the first one offered.
    void showSoundInUse();
    void selectSound();
    void openLegenda(QObject* sender);
    void openExclusionsLegenda(QObject* sender);
    // The names of the alert sounds the pop-up offers, in its order.
    static const QStringList& alertSoundNames();

    Popover* popoverLegenda() const { return m_popoverLegenda; }
    QTabWidget* legendaTabView() const;
    QWidget* legendaView() const { return m_legendaView; }
    QCheckBox* altIcons() const;
    // well0 to well4; nullptr for any other state.
    ColorWell* well(qint64 state) const;

signals:
    void labelColorsChanged();
    // The icon set changed: views that draw state icons redraw.
    void stateIconsChanged();
    // The user switched the icon set: the editors' rows take its icons.
    void iconSetSwitched();

private:
    void m_buildLegenda(QWidget* window);
    void m_paintStateTexts(qint64 state, const QColor& color);
    void m_showLegendaFrom(QObject* sender);

    Ui::PAController& m_form;
    PAStateIcons& m_icons;
    const std::unique_ptr<Ui::PALegenda> m_legenda;
    Popover* m_popoverLegenda = nullptr;
    QWidget* m_legendaView = nullptr;
};
