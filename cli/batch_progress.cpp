#include "cli/batch_progress.h"

#include <ostream>

#include "errors/exception.h"

namespace {

constexpr auto kTerminalInterval = std::chrono::milliseconds(500);
constexpr auto kLogInterval = std::chrono::seconds(30);

std::string Duration(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  return s >= 3600 ? Formatted("%lldh%02lldm", s / 3600, s / 60 % 60)
                   : Formatted("%lldm%02llds", s / 60, s % 60);
}

}  // namespace

CBatchProgress::CBatchProgress(std::ostream& err, bool terminal, size_t total, size_t done)
    : m_err(err), m_terminal(terminal), m_total(total), m_earlier(done), m_done(done) {}

void CBatchProgress::Finished(bool failed) {
  ++m_done;
  if (failed) ++m_failed;
}

void CBatchProgress::Tick() {
  const CClock::time_point now = CClock::now();
  if (now - m_shown < (m_terminal ? std::chrono::nanoseconds(kTerminalInterval) : kLogInterval))
    return;
  m_shown = now;
  Show();
}

void CBatchProgress::Show() {
  const double elapsed = std::chrono::duration<double>(CClock::now() - m_start).count();
  const size_t thisRun = m_done - m_earlier;
  const double rate = elapsed > 0.0 ? static_cast<double>(thisRun) / elapsed : 0.0;
  std::string line = Formatted("%zu/%zu done, %zu failed, %.1f/s", m_done, m_total, m_failed, rate);
  if (rate > 0.0) line += ", " + Duration(static_cast<double>(m_total - m_done) / rate) + " left";
  if (m_terminal) {
    m_err << "\r" << line << "\033[K" << std::flush;
    m_onLine = true;
  } else {
    m_err << "tessaline-cli batch: " << line << "\n" << std::flush;
  }
}

void CBatchProgress::Clear() {
  if (!m_onLine) return;
  m_err << "\r\033[K" << std::flush;
  m_onLine = false;
}
