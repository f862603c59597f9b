// Names of the two locks that mark a running copy: the query lock, which makes the instance
// checks of copies started at the same moment take turns, and the instance lock, held by each
// running copy. A scope suffix decides who shares them: the program uses the user scope, so that
// each user on a machine runs copies of their own.
#pragma once

#include <string>

enum class CInstanceScope {
  kMachine = 0,  // one set of names for everybody
  kUser = 3,     // "-<domain>-<user>"
};

// Whom the user scope separates. Our platforms have no user domain; the host name stands in
// for it, which keeps two machines sharing a home folder (and so the lock folder) apart.
struct CUserIdentity {
  std::string domain;
  std::string user;
};

// The host name and the effective user's login name (from the password database, else $USER,
// else $LOGNAME); an empty text for what cannot be found.
CUserIdentity CurrentUserIdentity();

std::string InstanceScopeSuffix(CInstanceScope scope, const CUserIdentity& identity);
std::string QueryLockName(CInstanceScope scope, const CUserIdentity& identity);
std::string InstanceLockName(CInstanceScope scope, const CUserIdentity& identity);
