#pragma once

#include "platform/ArrayController.h"
#include "setup/PAStrategy.h"

#include <QButtonGroup>
#include <QObject>
#include <QPointer>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class PAConfiguration;
class PAController;
class PAExclusionController;
class PAManagedRecordsController;
class PAWizardController;

// The strategies' controller: the table of ready-made configurations and the
// loading of the built-in presets they stand on. The strategies tab and its
// sheets arrive with their window.
class PAPresetsController : public QObject
{
    Q_OBJECT

public:
    explicit PAPresetsController(PAConfiguration& configuration, QObject* parent = nullptr);
    ~PAPresetsController() override;

    // The configuration presets load into; given at construction.
    PAConfiguration* const palisorconfiguration;
    // The main window, which carries the strategies' sheets; set by
    // MainInterface.
    QPointer<QWidget> window;

    // The rows of the strategies table, in table order.
    std::vector<std::shared_ptr<PAStrategy>> strategiesLibrary;
    // The array controller between strategiesLibrary and the table.
    ArrayController<PAStrategy>* strategiesLibraryController = nullptr;

    // Fills the strategies table.
    void awakeFromNib();

    // What becomes of a load that an open connection alert holds back.
    enum class HeldLoad { Drop, Queue };
    // Loads the built-in preset `name` into `configuration` as a barrier item
    // on synchronizedQueue and waits for it; true when it was found and
    // loaded. A preset or configuration that is missing loads nothing. While
    // a connection alert holds the queue the load is dropped, or with
    // HeldLoad::Queue runs once the alert is answered; false either way.
    // Every reason for false is logged.
    static bool loadPresetFromBundle(PAConfiguration* configuration, const QString& name,
                                     HeldLoad held = HeldLoad::Drop);
    // The same into palisorconfiguration, dropping a held load.
    bool loadPresetFromBundle(const QString& name);
};
