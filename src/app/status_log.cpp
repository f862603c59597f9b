#include "app/status_log.h"

#include <atomic>

namespace {

std::atomic<CStatusLog*> g_log{nullptr};

}  // namespace

void LogStatus(std::string_view line) {
  if (CStatusLog* log = g_log.load()) log->Write(line);
}

void InstallStatusLog(CStatusLog* log) { g_log.store(log); }

CStatusLogScope::CStatusLogScope(CStatusLog& log) : m_previous(g_log.exchange(&log)) {}

CStatusLogScope::~CStatusLogScope() { g_log.store(m_previous); }
