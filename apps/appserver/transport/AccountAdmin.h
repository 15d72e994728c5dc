#pragma once
// The administrator's commands on an accounts file (AccountsFile.h), run
// without a server: each reads the file, refuses it whole when a line is
// wrong, and writes it back with only the user's line changed. Each returns
// false with `error` set (Portuguese) on failure, and then writes nothing.
#include "Principal.h"

#include <QString>
#include <QStringList>
#include <optional>

// Adds `user` with `password` (a new file is created), or sets a new
// password for an existing user. A new user needs `branches`; an existing
// one keeps its branches unless `branches` is given. Refuses a bad name and a
// password shorter than TAccounts::MinPasswordLength.
bool AddUser(const QString& fileName, const QString& user, const QString& password,
             const std::optional<TBranches>& branches, QString& error);

// Sets the branches of an existing user; the password stays.
bool SetBranches(const QString& fileName, const QString& user, const TBranches& branches, QString& error);

// One line per user, in the file's order: "NAME FILIAIS", the branches
// written "0001,0003" or "todas".
std::optional<QStringList> ListUsers(const QString& fileName, QString& error);
