#pragma once

#include "platform/AlertPresenter.h"

// The real presenter: QMessageBox.
class DialogAlertPresenter : public AlertPresenter
{
public:
    void beginSheet(const Alert& alert, QObject* window,
                    std::function<void(AlertResult)> completion) override;
    AlertResult runModal(const Alert& alert) override;
};
