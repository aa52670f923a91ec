#pragma once

#include <QWidget>

#include <memory>

class PopUpButton;
class QAbstractButton;
class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace Ui {
class PAAddIPPopover;
} // namespace Ui

// The content of the add popover that hangs off the app rules popover: a
// title, the typed entry, the pass/block pop-up (item 0 pass, item 1 block),
// the catch-all and add buttons, a spinner for host-name look-ups and a
// message beside a caution picture. The main window's controller owns what
// the controls do.
class PAAddIPPopover : public QWidget
{
    Q_OBJECT

public:
    explicit PAAddIPPopover(QWidget* parent = nullptr);
    ~PAAddIPPopover() override;

    QLabel* addIpTitle() const;
    QLineEdit* newIP() const;
    PopUpButton* rulePopup() const;
    QAction* rulePopupPass() const { return m_rulePopupPass; }
    QAction* rulePopupBlock() const { return m_rulePopupBlock; }
    QAbstractButton* addEveryoneBtn() const;
    QAbstractButton* addNewItemBtn() const;
    QLabel* addRuleErrorString() const;
    QLabel* cautionPic() const;
    QProgressBar* progrind() const;

private:
    const std::unique_ptr<Ui::PAAddIPPopover> ui;
    QAction* m_rulePopupPass = nullptr;
    QAction* m_rulePopupBlock = nullptr;
};
