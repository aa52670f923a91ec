#pragma once

#include <QString>

#include <functional>

// Administrator authorisation for one right, asked of polkit. The answer
// comes later, on the main thread; the caller never waits in a nested loop.
class Authorization
{
public:
    virtual ~Authorization() = default;

    enum class Answer {
        Authorised,
        // Asked and refused: wrong password, or the user dismissed the dialog.
        Refused,
        // Nobody could be asked: no authentication agent serves this process.
        NoAgent,
        // polkit could not be asked at all (not installed, not running).
        Unavailable,
    };

    // Asks with pkcheck, which the desktop's authentication agent answers.
    virtual void requestRight(const QString& actionId, std::function<void(Answer answer)> completion);

    static Authorization& shared();
    // nullptr restores the polkit one. The caller keeps ownership.
    static void setShared(Authorization* authorization);
};
