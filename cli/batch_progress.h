// The progress of a batch run on the error stream: inputs done and failed, the rate and the
// time left. On a terminal one line rewritten in place; otherwise (a log file, a cluster's job
// output) a plain line now and then. The terminal progress of the other commands shows one
// step of the status manager, which a run of many threads does not have, so it is not used here.
#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>

class CBatchProgress {
 public:
  using CClock = std::chrono::steady_clock;

  // `total` inputs in this run, `done` of them finished by an earlier run.
  CBatchProgress(std::ostream& err, bool terminal, size_t total, size_t done);

  void Finished(bool failed);
  // Shows the line when it is due: every half second on a terminal, every half minute otherwise.
  void Tick();
  // Clears a terminal's line (before other lines and at the end).
  void Clear();
  size_t Failed() const { return m_failed; }

 private:
  void Show();

  std::ostream& m_err;
  const bool m_terminal;
  const size_t m_total;
  const size_t m_earlier;
  size_t m_done;
  size_t m_failed = 0;
  const CClock::time_point m_start = CClock::now();
  CClock::time_point m_shown = m_start;
  bool m_onLine = false;
};
