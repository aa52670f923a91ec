#include "support/AnsweringAlertPresenter.h"

void AnsweringAlertPresenter::queueAnswer(int response, bool suppressionChecked)
{
    m_answers.push_back(AlertResult{response, suppressionChecked});
}

AlertResult AnsweringAlertPresenter::m_nextAnswer()
{
    if (m_answers.empty())
        return AlertResult{m_defaultAnswer, false};
    AlertResult result = m_answers.front();
    m_answers.pop_front();
    return result;
}

void AnsweringAlertPresenter::beginSheet(const Alert& alert, QObject* window,
                                         std::function<void(AlertResult)> completion)
{
    m_shown.append(alert);
    m_shownOn.append(window);
    if (m_holdSheets) {
        m_pending.push_back(std::move(completion));
        return;
    }
    if (completion)
        completion(m_nextAnswer());
}

AlertResult AnsweringAlertPresenter::runModal(const Alert& alert)
{
    m_shown.append(alert);
    m_shownOn.append(nullptr);
    return m_nextAnswer();
}

bool AnsweringAlertPresenter::answerPendingSheet(int response, bool suppressionChecked)
{
    if (m_pending.empty())
        return false;
    auto completion = std::move(m_pending.front());
    m_pending.pop_front();
    if (completion)
        completion(AlertResult{response, suppressionChecked});
    return true;
}
