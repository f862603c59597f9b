// A progress line on a terminal: while a command works for longer than the progress status's
// delay (750 ms), the text and fraction of its current step stand on one line of the error
// stream, rewritten in place, and go again when the work is done.
#pragma once

#include <atomic>
#include <cstdio>
#include <thread>

#include "app/status_manager.h"

class CTerminalProgress final : public CStatusDisplay {
 public:
  // Shows progress on `terminal` (a terminal: nothing else redraws a line in place).
  explicit CTerminalProgress(std::FILE* terminal);
  ~CTerminalProgress() override;
  CTerminalProgress(const CTerminalProgress&) = delete;
  CTerminalProgress& operator=(const CTerminalProgress&) = delete;

  void Show(const std::string& text, double fraction, bool indeterminate) override;
  void Hide() override;

 private:
  std::FILE* m_terminal;
  std::atomic<bool> m_running{true};
  std::atomic<bool> m_shown{false};
  std::thread m_pump;  // runs the status manager's side, which a command's own thread never does
};
