#pragma once

#include <QObject>
#include <QPointer>

class PAAppRulesController;
class Popover;

// Reacts to the app rules popover showing and closing: each time it shows it
// turns semitransient, and once it has closed the look-ups it started are
// cancelled and the connections log's per-app list stops following it.
class PAPopoverDelegate : public QObject
{
    Q_OBJECT

public:
    explicit PAPopoverDelegate(QObject* parent = nullptr);

    // Outlets, connected by the owner; nothing happens while one is missing.
    QPointer<Popover> appPopover;
    // The owner of the popover's look-ups.
    QPointer<PAAppRulesController> palisorcontroller;

    // Connects to appPopover's signals.
    void attach();

    void popoverDidClose();
    void popoverWillShow();

signals:
    // The per-app list of the connections log shows every app again.
    void appConnectionsFilterCleared();
};
