#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// One alert as the agent describes it; buttons left to right in the order
// given, the first is the default. The answer is 1000 + the button's index.
struct Alert
{
    QString messageText;
    QString informativeText;
    QStringList buttons;
    // A resource image name, or one of the standard names "NSCaution",
    // "NSInformational", "NSCritical"; "" for the application's icon.
    QString icon;
    bool showsSuppressionButton = false;
    // A view shown under the texts (a status panel, an options form). The
    // caller keeps it: the dialog hands it back, hidden and parentless, when
    // it closes.
    // A widget; held as an object so that the model can describe alerts
    // without the widgets library.
    QPointer<QObject> accessoryView;
};

struct AlertResult
{
    int response = 1000;
    bool suppressionChecked = false;
};

constexpr int AlertFirstButtonReturn = 1000;
constexpr int AlertSecondButtonReturn = 1001;
constexpr int AlertThirdButtonReturn = 1002;

// Every alert the agent raises goes through here, so tests answer them
// without a dialog and nothing ever blocks a test in a modal loop.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;

    // Window-modal (a sheet on `window`, or a free window when null): returns
    // at once; `completion` runs on the main thread with the answer. The
    // request road stays free while it is open.
    virtual void beginSheet(const Alert& alert, QObject* window,
                            std::function<void(AlertResult)> completion) = 0;
    // Application-modal: waits in a nested event loop for the answer. Only for
    // alerts the design makes modal.
    virtual AlertResult runModal(const Alert& alert) = 0;

    // The one set by setShared(), else the default (the dialogs, once the
    // widgets layer has installed them), else one that shows nothing and
    // answers with the last, cancelling button.
    static AlertPresenter& shared();
    // nullptr restores the default. The caller keeps ownership.
    static void setShared(AlertPresenter* presenter);
    static void setDefault(AlertPresenter* presenter);
};
