#pragma once

#include <QString>

#include <functional>

// Administrator authorisation for one right, asked of polkit. The answer
// comes later, on the main thread; the caller never waits in a nested loop.
class Authorization
{
public:
    virtual ~Authorization() = default;

    // true when the user was authorised for `actionId`. Where polkit does not
    // run, the answer is a refusal.
    virtual void requestRight(const QString& actionId, std::function<void(bool authorised)> completion);

    static Authorization& shared();
    // nullptr restores the polkit one. The caller keeps ownership.
    static void setShared(Authorization* authorization);
};
