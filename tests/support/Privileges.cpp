#include "support/Privileges.h"

#include <grp.h>
#include <unistd.h>

bool dropPrivilegesToNobody()
{
    constexpr uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
        return false;
    return geteuid() == nobody && getuid() == nobody;
}
