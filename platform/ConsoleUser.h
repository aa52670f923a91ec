#pragma once

#include <optional>
#include <sys/types.h>

// The user at the machine's console: the owner of seat0's active session as
// logind knows it; none when logind knows no active session. Without logind
// (no system bus, a container) the agent's own user is taken, since the agent
// runs in the session of the user at the console.
class ConsoleUser
{
public:
    static std::optional<uid_t> uid();
};
