#pragma once

#include "platform/AlertPresenter.h"

#include <QList>
#include <QPointer>

#include <deque>
#include <functional>

// Answers alerts from a script instead of showing them. Each alert takes the
// next queued answer (or the default answer when none is queued). Sheets are
// answered at once unless holdSheets is set, in which case they wait until
// answerPendingSheet().
class AnsweringAlertPresenter : public AlertPresenter
{
public:
    void queueAnswer(int response, bool suppressionChecked = false);
    void setDefaultAnswer(int response) { m_defaultAnswer = response; }
    void setHoldSheets(bool hold) { m_holdSheets = hold; }

    void beginSheet(const Alert& alert, QObject* window,
                    std::function<void(AlertResult)> completion) override;
    AlertResult runModal(const Alert& alert) override;

    // Answers the oldest held sheet; false when none is waiting.
    bool answerPendingSheet(int response, bool suppressionChecked = false);
    int pendingSheetCount() const { return static_cast<int>(m_pending.size()); }

    const QList<Alert>& shown() const { return m_shown; }
    // For each shown alert, the window it was a sheet on: null for a modal
    // alert and for a sheet without a window.
    const QList<QPointer<QObject>>& shownOn() const { return m_shownOn; }
    void clear()
    {
        m_shown.clear();
        m_shownOn.clear();
    }

private:
    AlertResult m_nextAnswer();

    std::deque<AlertResult> m_answers;
    std::deque<std::function<void(AlertResult)>> m_pending;
    QList<Alert> m_shown;
    QList<QPointer<QObject>> m_shownOn;
    int m_defaultAnswer = AlertFirstButtonReturn;
    bool m_holdSheets = false;
};

// Installs an AnsweringAlertPresenter for a test's lifetime.
class ScopedAlertPresenter
{
public:
    ScopedAlertPresenter() { AlertPresenter::setShared(&m_presenter); }
    ~ScopedAlertPresenter() { AlertPresenter::setShared(nullptr); }
    AnsweringAlertPresenter* operator->() { return &m_presenter; }
    AnsweringAlertPresenter& presenter() { return m_presenter; }

private:
    AnsweringAlertPresenter m_presenter;
};
