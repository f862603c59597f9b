// tessaline-cli simulate: crystal files to simulated powder patterns, and observed-data files to
// their points on the same calculation grid, written as profile files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>

#include "cli/arguments.h"
#include "cli/cli_document.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "cli/listing_output.h"
#include "cli/pattern_options.h"
#include "cli/profile_output.h"
#include "cli/run_outputs.h"
#include "cli/session_inputs.h"
#include "diffraction/reflexion.h"
#include "diffraction/reflexion_generator.h"
#include "errors/exceptions.h"
#include "files/session_file.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"
#include "patterns/peaks.h"

namespace {

using namespace VHTypes;

constexpr size_t kSummaryPeaks = 10;

// What simulate adds to the shared pattern options: where its outputs go.
struct CSimulation {
  CPatternSettings patterns;
  std::optional<std::string> output;  // "-" for the standard output
  std::optional<std::filesystem::path> outDir;
  bool summary = false;
  std::optional<std::string> reflexions;        // where to write the reflexion listing
  std::optional<std::string> structureFactors;  // and the structure-factor listing
  std::optional<std::string> peaks;             // and the peak table
  std::optional<std::string> session;           // and everything the run made, as a session
};

std::vector<COptionSpec> OptionSpecs() {
  std::vector<COptionSpec> options = PatternOptionSpecs();
  for (const char* name :
       {"--size", "--out-dir", "--reflexions", "--structure-factors", "--peaks", "--save-session"})
    options.emplace_back(name, true);
  options.emplace_back("--output", true, "-o");
  options.emplace_back("--summary");
  return options;
}

CSimulation SimulationFrom(const CArguments& args) {
  CSimulation simulation;
  simulation.patterns = PatternSettingsFrom(args);
  TakeSizeOption(args, simulation.patterns);
  simulation.output = args.Value("--output");
  if (const auto dir = args.Value("--out-dir")) {
    if (simulation.output == "-") throw CUsageError("--out-dir cannot be used with -o -");
    simulation.outDir = *dir;
  }
  simulation.summary = args.Has("--summary");
  simulation.reflexions = args.Value("--reflexions");
  simulation.structureFactors = args.Value("--structure-factors");
  simulation.peaks = args.Value("--peaks");
  simulation.session = args.Value("--save-session");
  if (simulation.session == "-") throw CUsageError("--save-session needs a file name");
  return simulation;
}

// Where the profile of one pattern goes: OUT itself when the run makes one pattern, OUT's name
// with the title added when it makes several, TITLE-profile.txt without OUT; in --out-dir when
// given.
std::string OutputPath(const CSimulation& simulation, const std::string& title, bool several) {
  if (simulation.output == "-") return "-";
  std::filesystem::path path;
  if (!simulation.output) {
    path = title + "-profile.txt";
  } else {
    path = *simulation.output;
    if (several) path.replace_filename(path.stem().string() + "-" + title + path.extension().string());
  }
  if (simulation.outDir) path = *simulation.outDir / path.filename();
  return path.string();
}

// The errors of observed data on the calculation grid, interpolated as the values are; none
// when the data have none.
std::vector<double> GridErrors(const CTSObservedPattern& pattern, const CProfile& grid) {
  const CProfile& points = pattern.RawPoints();
  const std::vector<double>& errors = pattern.Errors();
  if (errors.size() != points.size() || points.size() < 2) return {};
  std::vector<double> onGrid;
  onGrid.reserve(grid.size());
  size_t next = 1;
  for (const CProfilePoint& g : grid) {
    while (next + 1 < points.size() && points[next].x < g.x) ++next;
    const CProfilePoint &a = points[next - 1], &b = points[next];
    const double t = b.x != a.x ? std::clamp((g.x - a.x) / (b.x - a.x), 0.0, 1.0) : 0.0;
    onGrid.push_back(errors[next - 1] + t * (errors[next] - errors[next - 1]));
  }
  return onGrid;
}

// --out-dir: the folder, created with its parents when missing.
void CreateOutputFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw CVHXFileNotOpen(kSeverityMessage, error.value());
}

// Right-aligns text in a field of `width` characters, counting characters rather than bytes.
std::string PadLeft(const std::string& text, size_t width) {
  const size_t characters = static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
  return std::string(width > characters ? width - characters : 0, ' ') + text;
}

// The strongest peaks within the plot's x range, relative to the strongest there.
void PrintSummary(const CTSCrystalPattern& pattern, const CPlotSpec& plot, std::ostream& out) {
  const std::vector<CPeak> peaks =
      StrongestPeaks(ReflexionsInRange(pattern.Crystal()->reflexions, plot), kSummaryPeaks);
  out << Formatted("%s: the %zu strongest peaks\n", pattern.Title(), peaks.size());
  const std::string position = std::string(plot.XAxisTitle()) + " (" + plot.XAxisUnit() + ")";
  out << "   h    k    l " << PadLeft("d (Å)", 9) << " " << PadLeft(position, 12) << "  I/Imax\n";
  for (const CPeak& peak : peaks) {
    const CTSReflexion& r = *peak.strongest;
    out << Formatted("%4d %4d %4d %9.5f %12.4f %7.1f%%\n", r.h, r.k, r.l, peak.d, peak.position,
                     100.0 * peak.relativeIntensity);
  }
}

// One run of simulate: its settings, the document its inputs are added to, where its outputs go,
// and the crystal patterns it made for the tables written at its end.
class CSimulationRun {
 public:
  CSimulationRun(const CSimulation& simulation, std::span<const std::string> inputs,
                 const CSessionInputs& sessions, std::ostream& out, std::ostream& err)
      : m_simulation(simulation),
        m_sessions(sessions),
        m_document(simulation.patterns.calculation.plotSpec,
                   [this](CTSPattern& pattern) { m_simulation.patterns.ApplyTo(pattern, m_err); }),
        m_outputs(inputs, err),
        m_several(inputs.size() > 1),
        m_out(out),
        m_err(err) {
    for (const auto& [option, path] : {std::pair{"-o", simulation.output},
                                       {"--reflexions", simulation.reflexions},
                                       {"--structure-factors", simulation.structureFactors},
                                       {"--peaks", simulation.peaks},
                                       {"--save-session", simulation.session}})
      if (path) m_outputs.RefuseInput(*path, option);
  }

  // One input of any kind; its failures reach the caller.
  void Simulate(const std::string& input) {
    const CPatternList patterns = m_document.Add(input);
    if (m_sessions.Holds(input)) {
      SimulateSession(patterns);
      return;
    }
    const bool several = m_several || patterns.size() > 1;
    for (const std::shared_ptr<CTSPattern>& pattern : patterns) {
      if (pattern->GetKind() == CTSPattern::kObserved)
        SimulateObserved(std::static_pointer_cast<CTSObservedPattern>(pattern));
      else
        SimulateCrystal(std::static_pointer_cast<CTSCrystalPattern>(pattern), several);
    }
  }

  // The listings and peak tables of every crystal pattern, in input order; false when one of
  // them could not be written (and was reported).
  bool WriteTables() {
    std::vector<CListingBlock> blocks;
    for (const auto& pattern : m_crystals)
      blocks.push_back({pattern->Title(), *pattern->Crystal()});
    const CPlotSpec& plot = m_simulation.patterns.calculation.plotSpec;
    bool written = true;
    auto write = [&](const std::string& path,
                     const std::function<void(const std::string&)>& table) {
      written = WithInputFile(path, [&] { table(path); }) && written;
    };
    if (m_simulation.reflexions)
      write(m_outputs.Claim(*m_simulation.reflexions), [&](const std::string& path) {
        WriteListingOutput(path, CListingKind::kReflexions, blocks, plot, m_out);
      });
    if (m_simulation.structureFactors)
      write(m_outputs.Claim(*m_simulation.structureFactors), [&](const std::string& path) {
        WriteListingOutput(path, CListingKind::kStructureFactors, blocks, plot, m_out);
      });
    if (m_simulation.peaks)
      for (const auto& pattern : m_crystals)
        write(PeakTablePath(*pattern), [&](const std::string& path) {
          WritePeakTable(path, pattern->Crystal()->reflexions, plot, m_out);
        });
    return written;
  }

  // A crystal without reflexions in range, or a profile that could not be written.
  bool Incomplete() const { return m_missed || m_unwritten; }

  // With --mix: the patterns of the inputs as one mixture, its profile written as one pattern's.
  void WriteMixture() {
    if (!m_simulation.patterns.mix || m_mixed.empty()) return;
    const std::shared_ptr<CTSMixturePattern> mixture =
        MixtureOfInputs(m_mixed, *m_simulation.patterns.mix);
    const CPlotSpec& plot = m_simulation.patterns.calculation.plotSpec;
    const std::string path = m_outputs.Claim(OutputPath(m_simulation, "mixture", false));
    WriteProfile(path, *mixture, mixture->GetProfile(plot), {});
    Keep(mixture);
  }

  // With --save-session: every pattern the run made, and every pattern of its sessions, with the
  // run's plot specification; false when it could not be written (and was reported).
  bool SaveSession() {
    if (!m_simulation.session) return true;
    const std::string path = m_outputs.Claim(*m_simulation.session);
    return WithInputFile(path, [&] {
      CSession session;
      session.plotSpec = m_simulation.patterns.calculation.plotSpec;
      session.patterns = m_saved;
      WriteSessionFile(path, session);
    });
  }

 private:
  // The peak table of a pattern: --peaks itself, or with several patterns its name with the
  // title added.
  std::string PeakTablePath(const CTSPattern& pattern) {
    if (*m_simulation.peaks == "-") return "-";
    std::filesystem::path path = *m_simulation.peaks;
    if (m_crystals.size() > 1)
      path.replace_filename(path.stem().string() + "-" + pattern.Title() +
                            path.extension().string());
    return m_outputs.Claim(path.string());
  }

  // A profile that cannot be written is reported naming its own file, not the input in work,
  // and the run goes on with its other outputs.
  void WriteProfile(const std::string& path, const CTSPattern& pattern, const CProfile& profile,
                    const std::vector<double>& errors) {
    const auto write = [&] {
      WriteProfileOutput(path, pattern, profile, errors, m_simulation.patterns.calculation.plotSpec,
                         m_out);
    };
    if (path == "-")
      write();
    else if (!WithInputFile(path, write))
      m_unwritten = true;
  }

  // Writes the profile of one calculated crystal; the pattern is kept for the tables.
  void SimulateCrystal(const std::shared_ptr<CTSCrystalPattern>& pattern, bool several) {
    Keep(pattern);
    if (m_simulation.patterns.mix) {
      HasReflexionsInRange(*pattern);
      m_crystals.push_back(pattern);
      m_mixed.push_back(pattern);
      return;
    }
    WriteCrystal(pattern, several);
  }

  // A pattern the run made, for --save-session: what the run made is what the session shows.
  // Mixed inputs stand in the list as well as in their mixture, as the desktop keeps them, so
  // that the session's listings and its patterns list find them.
  void Keep(const std::shared_ptr<CTSPattern>& pattern) {
    pattern->SetPlotted(true);
    if (CPatternList* components = pattern->Components())
      for (const auto& component : *components) component->SetPlotted(true);
    m_saved.push_back(pattern);
  }

  // A crystal without reflexions in range is reported and has no profile to write. A list
  // refused for its memory was reported as that already: "no reflexions" would mislead.
  bool HasReflexionsInRange(const CTSCrystalPattern& pattern) {
    const CPlotSpec& plot = m_simulation.patterns.calculation.plotSpec;
    if (!ReflexionsInRange(pattern.Crystal()->reflexions, plot).empty()) return true;
    if (!ExceedsReflexionMemoryBudget(*pattern.Crystal(), ReflexionLimits(plot)))
      m_err << InputFilePrefix() << pattern.Title() << ": " << NoReflexionsMessage() << "\n";
    m_missed = true;
    return false;
  }

  void WriteCrystal(const std::shared_ptr<CTSCrystalPattern>& pattern, bool several) {
    if (!HasReflexionsInRange(*pattern)) return;
    m_crystals.push_back(pattern);
    const CPlotSpec& plot = m_simulation.patterns.calculation.plotSpec;
    const std::string path = m_outputs.Claim(OutputPath(m_simulation, pattern->Title(), several));
    WriteProfile(path, *pattern, pattern->GetProfile(plot), {});
    // With the profile on the standard output, the summary goes beside it rather than into it.
    if (m_simulation.summary) PrintSummary(*pattern, plot, path == "-" ? m_err : m_out);
  }

  // Writes the points of observed data, processed as the options asked, resampled onto the
  // calculation grid.
  void SimulateObserved(const std::shared_ptr<CTSObservedPattern>& pattern) {
    Keep(pattern);
    if (m_simulation.patterns.mix) {
      m_mixed.push_back(pattern);
      return;
    }
    WriteObserved(*pattern, m_several);
  }

  void WriteObserved(CTSObservedPattern& pattern, bool several) {
    const CPlotSpec& plot = m_simulation.patterns.calculation.plotSpec;
    // Only where there are data: the grid beyond the scan would read as measured zeros.
    CProfile profile = pattern.GetProfile(plot);
    const CProfile& data = pattern.RawPoints();
    std::erase_if(profile, [&](const CProfilePoint& p) {
      return p.x < data.front().x || p.x > data.back().x;
    });
    const std::string path = m_outputs.Claim(OutputPath(m_simulation, pattern.Title(), several));
    WriteProfile(path, pattern, profile, GridErrors(pattern, profile));
  }

  // The profile of every pattern the session shows, calculated with the run's settings and named
  // by its title; its crystals join the tables.
  void SimulateSession(const CPatternList& patterns) {
    const CPlotSpec& plot = m_simulation.patterns.calculation.plotSpec;
    m_document.RecalculatePlotted();
    std::ranges::copy(patterns, std::back_inserter(m_saved));
    for (const std::shared_ptr<CTSPattern>& pattern : patterns) {
      if (!pattern->Plotted()) continue;
      switch (pattern->GetKind()) {
        case CTSPattern::kCrystal:
          WriteCrystal(std::static_pointer_cast<CTSCrystalPattern>(pattern), true);
          break;
        case CTSPattern::kObserved:
          WriteObserved(static_cast<CTSObservedPattern&>(*pattern), true);
          break;
        case CTSPattern::kMixture: {
          const std::string path =
              m_outputs.Claim(OutputPath(m_simulation, pattern->Title(), true));
          WriteProfile(path, *pattern, pattern->GetProfile(plot), {});
          break;
        }
      }
    }
  }

  const CSimulation& m_simulation;
  const CSessionInputs& m_sessions;
  CCliDocument m_document;
  CRunOutputs m_outputs;
  bool m_several;
  std::ostream& m_out;
  std::ostream& m_err;
  std::vector<std::shared_ptr<CTSCrystalPattern>> m_crystals;
  CPatternList m_mixed;   // with --mix, every pattern in input order
  CPatternList m_saved;   // for --save-session, every pattern in input order
  bool m_missed = false;  // a crystal without reflexions in range
  bool m_unwritten = false;  // a profile that could not be written
};

}  // namespace

int RunSimulateCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  const CArguments args(arguments, OptionSpecs());
  if (args.Positionals().empty()) throw CUsageError("expected one or more crystal or observed-data files");
  const CSessionInputs sessions(args.Positionals());
  const CSimulation simulation = sessions.StartingFromFirst([&] { return SimulationFrom(args); });
  if (simulation.patterns.mix && sessions.Any())
    throw CUsageError("--mix takes crystal and observed-data files, not sessions");
  CSimulationRun run(simulation, args.Positionals(), sessions, out, err);
  if (simulation.outDir &&
      !WithInputFile(simulation.outDir->string(), [&] { CreateOutputFolder(*simulation.outDir); }))
    return kExitFailure;
  int status = kExitSuccess;
  for (const std::string& input : args.Positionals())
    if (!WithInputFile(input, [&] { run.Simulate(input); })) status = kExitFailure;
  // A mixture is of all its inputs or of none: one that failed would change what it means.
  if (simulation.patterns.mix && status != kExitSuccess) return status;
  run.WriteMixture();
  if (!run.WriteTables()) status = kExitFailure;
  if (!run.SaveSession()) status = kExitFailure;
  return run.Incomplete() ? kExitFailure : status;
}
