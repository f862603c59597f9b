#include "cli/terminal_progress.h"

#include <chrono>

#include "app/status.h"

namespace {

constexpr auto kPumpInterval = std::chrono::milliseconds(50);
constexpr int kLineWidth = 72;  // the text is cut to fit one line of a narrow terminal

}  // namespace

CTerminalProgress::CTerminalProgress(std::FILE* terminal) : m_terminal(terminal) {
  RegisterStatusThread();
  if (const auto manager = StatusManager()) manager->SetDisplay(this);
  m_pump = std::thread([this] {
    while (m_running) {
      if (const auto manager = StatusManager()) manager->Pump();
      std::this_thread::sleep_for(kPumpInterval);
    }
  });
}

CTerminalProgress::~CTerminalProgress() {
  m_running = false;
  m_pump.join();
  if (const auto manager = StatusManager()) manager->SetDisplay(nullptr);
  Hide();
  UnregisterStatusThread();
}

void CTerminalProgress::Show(const std::string& text, double fraction, bool indeterminate) {
  const std::string line = StatusWindowText(text);
  if (indeterminate)
    std::fprintf(m_terminal, "\r%.*s\033[K", kLineWidth, line.c_str());
  else
    std::fprintf(m_terminal, "\r%.*s %3d%%\033[K", kLineWidth - 5, line.c_str(),
                 static_cast<int>(100.0 * fraction));
  std::fflush(m_terminal);
  m_shown = true;
}

void CTerminalProgress::Hide() {
  if (!m_shown.exchange(false)) return;
  std::fputs("\r\033[K", m_terminal);
  std::fflush(m_terminal);
}
