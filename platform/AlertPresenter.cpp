#include "platform/AlertPresenter.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<AlertPresenter*> g_sharedPresenter{nullptr};
std::atomic<AlertPresenter*> g_defaultPresenter{nullptr};

// Where no dialogs exist (a program or test without the widgets layer) an
// alert is never a silent yes: it takes the last, cancelling button.
class CancellingAlertPresenter : public AlertPresenter
{
public:
    void beginSheet(const Alert& alert, QObject*, std::function<void(AlertResult)> completion) override
    {
        if (completion)
            completion(runModal(alert));
    }
    AlertResult runModal(const Alert& alert) override
    {
        AlertResult result;
        result.response = AlertFirstButtonReturn + int(std::max<qsizetype>(0, alert.buttons.size() - 1));
        return result;
    }
};

} // namespace

AlertPresenter& AlertPresenter::shared()
{
    static CancellingAlertPresenter cancelling;
    if (AlertPresenter* presenter = g_sharedPresenter.load())
        return *presenter;
    if (AlertPresenter* presenter = g_defaultPresenter.load())
        return *presenter;
    return cancelling;
}

void AlertPresenter::setShared(AlertPresenter* presenter)
{
    g_sharedPresenter.store(presenter);
}

void AlertPresenter::setDefault(AlertPresenter* presenter)
{
    g_defaultPresenter.store(presenter);
}
