// Session files among a command's inputs. A session brings its own settings: the run's
// calculation starts from the first session's plot specification (radiation, range, grid, peak
// shape), and the options change that as they would change the built-in defaults.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/calculation_options.h"
#include "patterns/plot_spec.h"

// Whether the file is a session of either format, by its content.
bool IsSessionFile(const std::string& path);

class CSessionInputs {
 public:
  // Finds the sessions among the inputs and reads the first one that can be read for its plot
  // specification. That reading is silent: each session is read, and its failure reported, in
  // input order when the command comes to it.
  explicit CSessionInputs(std::span<const std::string> inputs);

  bool Holds(const std::string& input) const;
  bool Any() const { return !m_paths.empty(); }

  // `make()`, the settings of the options, starting from the first session that was read.
  template <class MakeSettings>
  auto StartingFromFirst(MakeSettings make) const {
    if (!m_firstPlotSpec) return make();
    const CCalculationDefaultsScope scope(*m_firstPlotSpec);
    return make();
  }

 private:
  std::vector<std::string> m_paths;
  std::optional<CPlotSpec> m_firstPlotSpec;
};
