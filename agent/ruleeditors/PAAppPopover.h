#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class QAction;
class QCheckBox;
class QMenu;
class QWidgetAction;

namespace Ui {
class PAAppPopover;
}

// The app rules popover's content: the header with the app's icon, name,
// bundle or binary tag and gear menu, the segmented control over three tabs
// (rules, the app's connections, the code-signature report) and their
// controls. The main window's controller fills it and reacts to it; this
// class only builds it.
class PAAppPopover : public QWidget
{
    Q_OBJECT

public:
    explicit PAAppPopover(QWidget* parent = nullptr);
    ~PAAppPopover() override;

    Ui::PAAppPopover* form() const { return ui.get(); }

    // The gear menu and its items; the rule items' actions are the main
    // window's rule-state commands.
    QMenu* popoverActionMenu() const { return m_menu; }
    QAction* popoverMakeYellowItem = nullptr;
    QAction* popoverMakeGreenItem = nullptr;
    QAction* popoverMakeRedItem = nullptr;
    QAction* popoverMakeGreenItem2 = nullptr;
    QAction* popoverMakeRedItem2 = nullptr;
    QAction* popoverSeparatorItem = nullptr;
    // Hosts popoverReverseView, which holds switchReverseBtn.
    QWidgetAction* popoverReverseItem = nullptr;
    QWidget* popoverReverseView = nullptr;
    QCheckBox* switchReverseBtn = nullptr;
    // The sibling firewall's items.
    QAction* popoverActionBtnGroupItem = nullptr;
    QAction* popoverActionBtnBlackListItem = nullptr;

private:
    const std::unique_ptr<Ui::PAAppPopover> ui;
    QMenu* m_menu = nullptr;
};
