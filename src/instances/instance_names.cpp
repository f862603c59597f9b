#include "instances/instance_names.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kQueryLockBase = "Tessaline--Query-13dca11d-78cb-484a-892b-10aa643d11ae";
constexpr std::string_view kInstanceLockBase = "Tessaline-13dca11d-78cb-484a-892b-10aa643d11ae";

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string EnvironmentText(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? value : "";
}

std::string UserName() {
  long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(bufferSize > 0 ? static_cast<size_t>(bufferSize) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    return found->pw_name;
  }
  const std::string user = EnvironmentText("USER");
  return user.empty() ? EnvironmentText("LOGNAME") : user;
}

}  // namespace

CUserIdentity CurrentUserIdentity() {
  return {HostName(), UserName()};
}

std::string InstanceScopeSuffix(CInstanceScope scope, const CUserIdentity& identity) {
  if (scope != CInstanceScope::kUser) return {};
  return "-" + identity.domain + "-" + identity.user;
}

std::string QueryLockName(CInstanceScope scope, const CUserIdentity& identity) {
  return std::string(kQueryLockBase) + InstanceScopeSuffix(scope, identity);
}

std::string InstanceLockName(CInstanceScope scope, const CUserIdentity& identity) {
  return std::string(kInstanceLockBase) + InstanceScopeSuffix(scope, identity);
}
