// The status log: warnings and other non-fatal problems met while reading files. They are
// not alerts; the CLI prints them with --verbose and the GUI shows them in its log window.
#pragma once

#include <string_view>

class CStatusLog {
 public:
  virtual ~CStatusLog() = default;
  virtual void Write(std::string_view line) = 0;
};

// Writes one line to the installed log (by default, lines are discarded).
void LogStatus(std::string_view line);

// Installing nullptr restores the default, which discards.
void InstallStatusLog(CStatusLog* log);

// Installs a log for the lifetime of the object and restores the previous one afterwards.
class CStatusLogScope {
 public:
  explicit CStatusLogScope(CStatusLog& log);
  ~CStatusLogScope();
  CStatusLogScope(const CStatusLogScope&) = delete;
  CStatusLogScope& operator=(const CStatusLogScope&) = delete;

 private:
  CStatusLog* m_previous;
};
