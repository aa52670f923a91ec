#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class PAApplication;
class PAAppsIndex;

// What the saved rules say about one request, decided from the request and
// a snapshot of the managed apps alone: it sends nothing and changes nothing.
struct PASavedRuleDecision
{
    // Every answer that holds, in the order the daemon gets them. Each app
    // whose binary the path holds answers on its own, and each match of an
    // asking app that holds answers on its own: nothing stops early.
    QStringList answers;
    // When no rule answers but the app is in a quiet period: that app and
    // the side it passes or blocks on.
    std::shared_ptr<PAApplication> quietApp;
    bool quietPass = false;

    // Neither a rule nor a quiet period answers: the user is asked.
    bool asksUser() const { return answers.isEmpty() && !quietApp; }
    // The answer of the quiet period, and the match it remembers.
    QString quietAnswer(const QString& request) const;
    QString quietMatch(const QString& address) const;

    // `request` is the daemon's text as it came, `path` the executable the
    // rules are looked up by (an XPC service already replaced by its host).
    // A path that is not `verified` is only the name a process gave itself:
    // any process can claim a saved app's path, so only the user decides.
    static PASavedRuleDecision decide(const QString& request, const QString& path, bool verified,
                                      const QString& address, const QString& port, const PAAppsIndex& apps);
};
