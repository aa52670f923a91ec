#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

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
    QPointer<QWidget> accessoryView;
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
    virtual void beginSheet(const Alert& alert, QWidget* window, std::function<void(AlertResult)> completion) = 0;
    // Application-modal: waits in a nested event loop for the answer. Only for
    // alerts the design makes modal.
    virtual AlertResult runModal(const Alert& alert) = 0;

    static AlertPresenter& shared();
    // nullptr restores the dialog presenter. The caller keeps ownership.
    static void setShared(AlertPresenter* presenter);
};

// The real presenter: QMessageBox.
class DialogAlertPresenter : public AlertPresenter
{
public:
    void beginSheet(const Alert& alert, QWidget* window, std::function<void(AlertResult)> completion) override;
    AlertResult runModal(const Alert& alert) override;
};
