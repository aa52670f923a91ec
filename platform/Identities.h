#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>

// A local user account.
struct Identity
{
    QString posixName;
    QString fullName;
    uid_t uid = 0;
    // The account's picture where the system keeps one, else "".
    QString imagePath;

    // Loads the picture; a null image when there is none. Main thread only.
    QImage image() const;
};

class Identities
{
public:
    // The account name of a user id; nullopt when no account has it.
    static std::optional<QString> userName(uid_t uid);
    // The accounts of real users (the uid range of /etc/login.defs, 1000 to
    // 60000 by default), in passwd order, with their AccountsService pictures.
    static QList<Identity> localUsers();
    // The picture file of an account: its AccountsService icon, else, for
    // the user running the agent, "~/.face"; "" when there is neither.
    static QString picturePath(const QString& posixName, uid_t uid);
};
