#include "cli/session_inputs.h"

#include <algorithm>

#include "app/status_log.h"
#include "files/session_file.h"
#include "files/tess_file.h"

namespace {

// Takes the lines that reading a session writes to the status log, and drops them.
class CDiscardedLog final : public CStatusLog {
 public:
  void Write(std::string_view) override {}
};

}  // namespace

bool IsSessionFile(const std::string& path) {
  return IsSessionType(CTessFile::DetermineType(path));
}

CSessionInputs::CSessionInputs(std::span<const std::string> inputs) {
  for (const std::string& input : inputs) {
    if (!IsSessionFile(input) || Holds(input)) continue;
    m_paths.push_back(input);
    if (m_firstPlotSpec) continue;
    CDiscardedLog discarded;
    const CStatusLogScope silent(discarded);
    try {
      m_firstPlotSpec = ReadSessionFile(input).plotSpec;
    } catch (...) {
      // Reported when the command comes to this input.
    }
  }
}

bool CSessionInputs::Holds(const std::string& input) const {
  return std::ranges::find(m_paths, input) != m_paths.end();
}
