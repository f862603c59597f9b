// Session files among a command's inputs. They are read before anything is calculated, because
// a session brings its own settings: the run's calculation starts from the first session's plot
// specification (radiation, range, grid, peak shape), and the options change that as they would
// change the built-in defaults.
#pragma once

#include <exception>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/calculation_options.h"
#include "files/crystal_files.h"
#include "files/session.h"

// Whether the file is a session of either format, by its content.
bool IsSessionFile(const std::string& path);

class CSessionInputs {
 public:
  // Reads every input that is a session file. One that fails keeps its error for when the
  // command comes to that input, so that it is reported in input order like any other.
  explicit CSessionInputs(std::span<const std::string> inputs);

  bool Holds(const std::string& input) const;
  // The session read from the input; raises the error that refused it.
  const CSession& Session(const std::string& input) const;

  // `make()`, the settings of the options, starting from the first session that was read.
  template <class MakeSettings>
  auto StartingFromFirst(MakeSettings make) const {
    const CPlotSpec* first = FirstPlotSpec();
    if (!first) return make();
    const CCalculationDefaultsScope scope(*first);
    return make();
  }

 private:
  struct CEntry {
    std::string path;
    std::optional<CSession> session;
    std::exception_ptr error;
  };
  const CPlotSpec* FirstPlotSpec() const;

  std::vector<CEntry> m_entries;
};

// Where a session's patterns go in a run: those it shows (plotted), at the top of its list.
CPatternList PlottedSessionPatterns(const CSession& session);

// The crystals of a session's crystal patterns, titled as the patterns are, for the listings.
std::vector<CCrystalFile> SessionCrystals(const CSession& session);
