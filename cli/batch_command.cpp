// tessaline-cli batch: the patterns of whole structure collections, on every core, resumable
// after a kill and splittable into shards for a cluster's job array.
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "app/cancellable.h"
#include "app/status_log.h"
#include "cli/arguments.h"
#include "cli/batch_cluster.h"
#include "cli/batch_inputs.h"
#include "cli/batch_manifest.h"
#include "cli/batch_piece.h"
#include "cli/batch_pool.h"
#include "cli/batch_progress.h"
#include "cli/batch_record.h"
#include "cli/cli_document.h"
#include "cli/commands.h"
#include "cli/hdf5_writer.h"
#include "cli/listing_output.h"
#include "cli/npz_writer.h"
#include "cli/pattern_options.h"
#include "cli/profile_output.h"
#include "cli/run_outputs.h"
#include "diffraction/reflexion.h"
#include "diffraction/reflexion_generator.h"
#include "errors/alert.h"
#include "errors/exceptions.h"
#include "files/profile_file.h"
#include "files/session_file.h"
#include "files/tess_file.h"
#include "files/whole_file.h"
#include "patterns/crystal_pattern.h"

namespace {

namespace fs = std::filesystem;
using namespace VHTypes;

static_assert(std::endian::native == std::endian::little, "the .npz rows are written as they lie");

constexpr int kExitInterrupted = 130;  // as a shell reports a run ended by SIGINT
constexpr auto kPollInterval = std::chrono::milliseconds(200);
const char* const kManifestName = "batch-manifest.tsv";
const char* const kWorkName = "batch-work";
const char* const kGridName = "x.f64";

struct CFormats {
  bool profiles = false, npz = false, hdf5 = false, csv = false;
};

struct CBatch {
  CPatternSettings patterns;
  CFormats formats;
  fs::path out;
  size_t threads = 1;
  bool threadsGiven = false;
  std::optional<double> timeout;
  bool resume = false;
  std::vector<std::string> inputs;
  std::string settings;  // the options that decide the results, for the manifest
};

std::vector<COptionSpec> OptionSpecs() {
  std::vector<COptionSpec> options = PatternOptionSpecs();
  for (const char* name :
       {"--list", "--dir", "--out", "--format", "--threads", "--timeout", "--shard", "--size"})
    options.emplace_back(name, true);
  options.emplace_back("--peaks-only");
  options.emplace_back("--resume");
  options.emplace_back("--mpi");
  return options;
}

CFormats FormatsFrom(const CArguments& args) {
  CFormats formats;
  if (args.Has("--peaks-only")) {
    if (args.Has("--format") && *args.Value("--format") != "csv")
      throw CUsageError("--peaks-only writes the peak table alone; leave out --format");
    formats.csv = true;
    return formats;
  }
  const std::string list = args.Value("--format").value_or("profiles");
  size_t start = 0;
  do {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, comma - start);
    if (name == "profiles")
      formats.profiles = true;
    else if (name == "npz")
      formats.npz = true;
    else if (name == "hdf5")
      formats.hdf5 = true;
    else if (name == "csv")
      formats.csv = true;
    else
      throw CUsageError("--format takes profiles, npz, hdf5 and csv (comma-separated), not '" +
                        name + "'");
    start = comma + 1;
  } while (start <= list.size());
  return formats;
}

// The batch grid, unless the options give their own.
void ApplyBatchDefaults(const CArguments& args, CPlotSpec& plot) {
  if (!args.Has("--range") && plot.AxisType() == kAxisTwoTheta)
    plot.SetXRange(kBatchXMin, kBatchXMax);
  if (!args.Has("--points")) plot.SetProfilePoints(kBatchPoints);
}

// The arguments that decide what is computed: all but those of the run's pace, so that a run
// started on threads may go on under MPI and the other way round.
std::string SettingsOf(std::span<const std::string> arguments) {
  std::string settings;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--resume" || a == "--mpi" || a.starts_with("--threads=")) continue;
    if (a == "--threads") {
      ++i;
      continue;
    }
    for (const char c : a) settings += c == '\n' ? ' ' : c;
    settings += ' ';
  }
  return settings;
}

// A folder the run can write into, created when missing; checked before any work.
void PrepareOutputFolder(const fs::path& out) {
  std::error_code error;
  fs::create_directories(out, error);
  if (error || !fs::is_directory(out, error))
    throw CUsageError("--out " + out.string() + " cannot be created");
  if (::access(out.c_str(), W_OK | X_OK) != 0)
    throw CUsageError("--out " + out.string() + " cannot be written (" + std::strerror(errno) +
                      ")");
}

// The run the arguments ask for. The workers of an MPI job are handed their inputs one by one
// and do not list them (`listInputs` false).
CBatch BatchFrom(std::span<const std::string> arguments, const CArguments& args, bool listInputs) {
  CBatch batch;
  batch.patterns = PatternSettingsFrom(args);
  TakeSizeOption(args, batch.patterns);
  if (batch.patterns.mix)
    throw CUsageError("--mix is not for batch runs: each input is one pattern");
  ApplyBatchDefaults(args, batch.patterns.calculation.plotSpec);
  batch.formats = FormatsFrom(args);
  const std::optional<std::string> out = args.Value("--out");
  if (!out) throw CUsageError("--out DIR is needed: the folder the outputs go to");
  batch.out = *out;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  batch.threads = cores;
  if (const auto threads = args.Integer("--threads")) {
    if (*threads < 1 || *threads > 4096) throw CUsageError("--threads must lie between 1 and 4096");
    batch.threads = static_cast<size_t>(*threads);
    batch.threadsGiven = true;
  }
  if (const auto timeout = args.Double("--timeout")) {
    if (!(*timeout > 0.0)) throw CUsageError("--timeout must be a positive number of seconds");
    batch.timeout = *timeout;
  }
  batch.resume = args.Has("--resume");
  const CShard shard = ParseShard(args.Value("--shard").value_or("0/1"));
  batch.settings = SettingsOf(arguments);
  if (!listInputs) return batch;
  batch.inputs = ShardInputs(
      ListBatchInputs(args.Positionals(), args.Value("--list"), args.Value("--dir")), shard);
  if (batch.inputs.empty()) throw CUsageError("no inputs: give files, --list FILE or --dir DIR");
  return batch;
}

// A run may be stopped with Ctrl-C: the workers take no further input, what is finished stays
// written. A second Ctrl-C ends the process at once.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  g_interrupted = true;
  std::signal(SIGINT, SIG_DFL);
}

class CInterruptScope {
 public:
  CInterruptScope() : m_previous(std::signal(SIGINT, OnInterrupt)) { g_interrupted = false; }
  ~CInterruptScope() { std::signal(SIGINT, m_previous); }
  CInterruptScope(const CInterruptScope&) = delete;
  CInterruptScope& operator=(const CInterruptScope&) = delete;

 private:
  void (*m_previous)(int);
};

// Warnings met on the workers (log lines, and the alerts that readers show and go on after) are
// counted for the status table rather than printed: a database's worth of them would bury the
// progress, and lines from several threads would mix.
thread_local size_t t_warnings = 0;

class CCountingLog final : public CStatusLog {
 public:
  void Write(std::string_view) override { ++t_warnings; }
};

class CCountingAlerts final : public CAlertPresenter {
 public:
  Answer Present(const CVHAlertContent&) override {
    ++t_warnings;
    return kFirstButton;
  }
};

std::string AlertText(const CVHException& error) {
  CVHAlertContent alert;
  alert.message = error.Message();
  alert.explanation = error.Explanation();
  alert.codeLine = error.CodeLine();
  std::string text = AlertLine(alert);
  if (error.Code() > 0 && error.Code() < 4096)
    text += std::string(" [") + std::strerror(static_cast<int>(error.Code())) + "]";
  return text;
}

std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\n\r") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

class CBatchRun {
 public:
  // With a `cluster` of several processes, rank 0 runs and the other ranks serve.
  CBatchRun(const CBatch& batch, std::ostream& err, CBatchCluster* cluster)
      : m_batch(batch),
        m_work(batch.out / kWorkName),
        m_plot(batch.patterns.calculation.plotSpec),
        m_err(err),
        m_cluster(cluster) {}

  // On a worker rank of an MPI job: works out the inputs rank 0 hands over.
  void Serve() {
    CCountingLog log;
    const CStatusLogScope logScope(log);
    CCountingAlerts alerts;
    const CAlertPresenterScope alertScope(alerts);
    // The ranks of a job usually fill the cores one each; OpenMP teams on top would only
    // oversubscribe them, unless --threads asks for teams.
    omp_set_num_threads(m_batch.threadsGiven ? static_cast<int>(m_batch.threads) : 1);
    m_cluster->Serve([this](size_t index, const std::string& path) {
      return OutcomeText(Compute(index, path));
    });
  }

  int Run() {
    std::error_code error;
    // Hours of finished work are not thrown away by a command line that forgot --resume.
    if (!m_batch.resume && fs::exists(m_batch.out / kManifestName, error))
      throw CUsageError(m_batch.out.string() +
                        " holds an unfinished run: --resume goes on with it; "
                        "remove " +
                        kManifestName + " to start afresh");
    if (!m_batch.resume) fs::remove_all(m_work, error);
    fs::create_directories(m_work, error);
    if (error) throw CVHXFileNotOpen(kSeverityMessage, error.value());
    CBatchManifest manifest((m_batch.out / kManifestName).string(), m_batch.settings,
                            m_batch.resume, m_work.string());
    m_gridSent = m_gridStored = fs::exists(m_work / kGridName, error);
    std::map<size_t, CBatchRecord> finished = manifest.Finished();
    for (const auto& [index, record] : finished)
      if (index >= m_batch.inputs.size() || m_batch.inputs[index] != record.path)
        throw CUsageError("--resume: the inputs are not those of the run in " +
                          m_batch.out.string() + " (" + record.path + ")");
    std::vector<size_t> pending;
    for (size_t i = 0; i < m_batch.inputs.size(); ++i)
      if (!finished.count(i)) pending.push_back(i);

    CBatchProgress progress(m_err, &m_err == &std::cerr && ::isatty(STDERR_FILENO),
                            m_batch.inputs.size(), finished.size());
    for (const auto& [index, record] : finished)
      progress.Finished(record.status != CBatchStatus::kOk);
    {
      CCountingLog log;
      const CStatusLogScope logScope(log);
      CCountingAlerts alerts;
      const CAlertPresenterScope alertScope(alerts);
      const CInterruptScope interrupt;
      std::unique_ptr<CBatchWorkers> workers;
      if (m_cluster && m_cluster->Size() > 1)
        workers = m_cluster->Coordinate(
            pending, m_batch.inputs,
            [this](const std::string& result) {
              CBatchOutcome outcome = OutcomeOfText(result);
              return Store(outcome);
            },
            g_interrupted);
      else
        workers = std::make_unique<CBatchPool>(
            m_batch.threads, pending,
            [this](size_t index) {
              CBatchOutcome outcome = Compute(index, m_batch.inputs[index]);
              return Store(outcome);
            },
            g_interrupted);
      while (!workers->Finished()) {
        std::optional<CBatchRecord> record = workers->Next(kPollInterval);
        if (!record) manifest.Sync();  // a quiet moment: the lines so far go on the disc
        if (record) {
          manifest.Append(*record);
          progress.Finished(record->status != CBatchStatus::kOk);
          if (record->status != CBatchStatus::kOk) {
            progress.Clear();
            m_err << record->path << ": "
                  << (record->status == CBatchStatus::kTimedOut ? "timed out" : record->message)
                  << "\n";
          }
          finished[record->index] = std::move(*record);
        }
        progress.Tick();
      }
    }
    manifest.Sync();
    progress.Clear();
    std::vector<CBatchRecord> records;
    for (auto& [index, record] : finished) records.push_back(std::move(record));
    if (g_interrupted) {
      // What is finished is written as a whole run of those inputs would write it, so that a
      // run stopped for good still leaves its results; the manifest and the pieces stay for
      // --resume, which writes the outputs again with every input.
      Assemble(records);
      m_err << "tessaline-cli batch: interrupted after " << records.size() << " of "
            << m_batch.inputs.size()
            << " inputs, whose results are written; --resume with the same options goes on\n";
      return kExitInterrupted;
    }
    Assemble(records);
    fs::remove_all(m_work, error);
    fs::remove(m_batch.out / kManifestName, error);
    m_err << "tessaline-cli batch: " << records.size() << " inputs, " << progress.Failed()
          << " failed\n";
    return progress.Failed() ? kExitFailure : kExitSuccess;
  }

 private:
  std::string PiecePath(size_t index) const {
    return (m_work / (std::to_string(index) + ".piece")).string();
  }

  // Works out one input on a worker thread or rank: read, calculate, keep what the outputs need.
  // Never raises: a failure is the input's record.
  CBatchOutcome Compute(size_t index, const std::string& path) {
    CBatchOutcome outcome;
    CBatchRecord& record = outcome.record;
    record.index = index;
    record.path = path;
    const auto start = std::chrono::steady_clock::now();
    t_warnings = 0;
    // The calculation's long loops give up once the limit has passed, so a huge cell costs its
    // time and no more.
    std::optional<CWorkLimit> limit;
    if (m_batch.timeout)
      limit.emplace(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(*m_batch.timeout)));
    const auto timedOut = [&] {
      record.status = CBatchStatus::kTimedOut;
      record.reflexions = 0;
      outcome.structures.clear();
    };
    try {
      Structures(outcome);
      record.seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      // Work between the polls may still carry a structure past the limit: its result is
      // dropped all the same, so that a collection's results never depend on how long one of
      // them took.
      if (m_batch.timeout && record.seconds > *m_batch.timeout) timedOut();
    } catch (const CWorkAbandoned&) {
      timedOut();
      record.seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } catch (...) {
      Refuse(record);
      outcome.structures.clear();
      record.seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    record.warnings = t_warnings;
    return outcome;
  }

  static void Refuse(CBatchRecord& record) {
    const std::unique_ptr<CVHException> error =
        ConvertException(std::current_exception(), kSeverityMessage);
    record.status = CBatchStatus::kRefused;
    record.message = AlertText(*error);
    record.reflexions = 0;
  }

  // Keeps what an input made for the end of the run, before the manifest names it: the grid
  // when it is the first to bring it, the piece of a finished input. Never raises: an input
  // whose piece cannot be written is refused with the reason.
  CBatchRecord Store(CBatchOutcome& outcome) {
    try {
      if (!outcome.grid.empty() && !m_gridStored.exchange(true))
        WriteWholeFile((m_work / kGridName).string(), outcome.grid);
      if (outcome.record.status == CBatchStatus::kOk)
        WritePiece(PiecePath(outcome.record.index), outcome.structures);
    } catch (...) {
      Refuse(outcome.record);
    }
    return std::move(outcome.record);
  }

  // The structures of one crystal file, calculated as simulate calculates them.
  void Structures(CBatchOutcome& outcome) {
    CBatchRecord& record = outcome.record;
    const std::string& path = record.path;
    // A session would bring its own settings and patterns; a batch computes crystal files.
    if (IsSessionType(CTessFile::DetermineType(path)))
      throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, path);
    const CFormats& formats = m_batch.formats;
    const bool profiles = formats.profiles || formats.npz || formats.hdf5;
    CCliDocument document(
        m_plot,
        [&](CTSPattern& pattern) {
          if (!pattern.Crystal()) throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, path);
          m_batch.patterns.ApplyTo(pattern, m_discard);
        },
        profiles);
    std::vector<CStructurePiece>& structures = outcome.structures;
    for (const std::shared_ptr<CTSPattern>& pattern : document.Add(path)) {
      const auto inRange = ReflexionsInRange(pattern->Crystal()->reflexions, m_plot);
      if (inRange.empty()) {
        // A list refused for its memory fails for that reason, not for an empty range.
        RefuseBeyondReflexionMemoryBudget(*pattern->Crystal(), ReflexionLimits(m_plot));
        throw std::runtime_error(pattern->Title() + ": " + std::string(NoReflexionsMessage()));
      }
      record.reflexions += inRange.size();
      CStructurePiece& s = structures.emplace_back();
      s.title = pattern->Title();
      if (profiles) {
        const CProfile& profile = pattern->GetProfile(m_plot);
        if (formats.profiles) s.profile = CTSProfileFile::ProfileText(*pattern, profile, m_plot);
        if (formats.npz || formats.hdf5) s.row = Row(*pattern, profile, outcome);
      }
      if (formats.csv) s.peaks = PeakRows(path, s.title, inRange);
    }
  }

  // The intensities within the range, as float32; the first row of a process brings the grid
  // along for the one that writes.
  std::string Row(const CTSPattern& pattern, const CProfile& profile, CBatchOutcome& outcome) {
    const bool withGrid = !m_gridSent.exchange(true);
    std::string row, grid;
    row.reserve(profile.size() * sizeof(float));
    for (const CProfilePoint& point : profile) {
      if (point.x < m_plot.XMin() || point.x > m_plot.XMax()) continue;
      const float y = static_cast<float>(pattern.PlottedPoint(point).y);
      row.append(reinterpret_cast<const char*>(&y), sizeof y);
      if (withGrid) grid.append(reinterpret_cast<const char*>(&point.x), sizeof point.x);
    }
    if (withGrid) outcome.grid = std::move(grid);
    return row;
  }

  std::string PeakRows(const std::string& path, const std::string& title,
                       const std::vector<std::shared_ptr<CTSReflexion>>& inRange) const {
    double strongest = 0.0;
    for (const auto& r : inRange) strongest = std::max(strongest, r->intensity);
    std::string rows;
    const std::string prefix = CsvField(path) + "," + CsvField(title) + ",";
    for (const auto& r : inRange)
      rows += prefix + Formatted("%d,%d,%d,%.6f,%.6f,%.6f\n", r->h, r->k, r->l, r->d, r->position,
                                 strongest > 0.0 ? r->intensity / strongest : 0.0);
    return rows;
  }

  // The outputs of the finished inputs, in input order.
  void Assemble(const std::vector<CBatchRecord>& records) {
    CRunOutputs outputs(m_batch.inputs, m_err);
    WriteStatusTable(outputs.Claim((m_batch.out / "status.tsv").string()), records);
    std::optional<std::string> npz, hdf5;
    if (m_batch.formats.npz) npz = outputs.Claim((m_batch.out / "patterns.npz").string());
    if (m_batch.formats.hdf5) hdf5 = outputs.Claim((m_batch.out / "patterns.h5").string());
    if (npz || hdf5) WriteMatrices(npz, hdf5, records);
    if (m_batch.formats.csv)
      WritePeaks(outputs.Claim((m_batch.out / "peaks.csv").string()), records);
    if (!m_batch.formats.profiles) return;
    for (const CBatchRecord& record : records) {
      if (record.status != CBatchStatus::kOk) continue;
      for (const CStructurePiece& s : ReadPiece(PiecePath(record.index)))
        WriteWholeFile(outputs.Claim((m_batch.out / (s.title + "-profile.txt")).string()),
                       s.profile);
    }
  }

  void WritePeaks(const std::string& path, const std::vector<CBatchRecord>& records) {
    CAtomicOutput table(path);
    table.Write("input,structure,h,k,l,d (Å)," +
                CsvField(std::string(m_plot.XAxisTitle()) + " (" + m_plot.XAxisUnit() + ")") +
                ",relative intensity\n");
    for (const CBatchRecord& record : records)
      if (record.status == CBatchStatus::kOk)
        for (const CStructurePiece& s : ReadPiece(PiecePath(record.index))) table.Write(s.peaks);
    table.Commit();
  }

  // The .npz archive and the HDF5 file, which hold the same arrays: the grid, one intensity row
  // per structure of a finished input and one of NaN for an input without a result, the names
  // and the statuses. The pieces are read twice, for the names and then for the rows, so that
  // the rows stream through and never all sit in memory.
  void WriteMatrices(const std::optional<std::string>& npzPath,
                     const std::optional<std::string>& hdf5Path,
                     const std::vector<CBatchRecord>& records) {
    std::vector<std::string> names;
    std::vector<int8_t> statuses;
    for (const CBatchRecord& record : records) {
      if (record.status != CBatchStatus::kOk) {
        names.push_back(record.path);
        statuses.push_back(static_cast<int8_t>(record.status));
        continue;
      }
      const std::vector<CStructurePiece> structures = ReadPiece(PiecePath(record.index));
      for (const CStructurePiece& s : structures) {
        names.push_back(structures.size() == 1 ? record.path : record.path + "#" + s.title);
        statuses.push_back(0);
      }
    }
    std::string grid;
    std::error_code error;
    if (fs::exists(m_work / kGridName, error)) {
      std::ifstream file(m_work / kGridName, std::ios::binary);
      grid.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    const uint64_t points = grid.size() / sizeof(double);
    std::vector<double> x(points);
    if (points) std::memcpy(x.data(), grid.data(), points * sizeof(double));

    std::optional<CNpzWriter> npz;
    std::vector<std::u32string> wide;
    size_t width = 1;
    if (npzPath) {
      for (const std::string& name : names) {
        wide.push_back(Utf32(name));
        width = std::max(width, wide.back().size());
      }
      npz.emplace(*npzPath);
      npz->BeginArray("x", "<f8", {points}, sizeof(double));
      npz->Write(grid);
      npz->EndArray();
      npz->BeginArray("intensity", "<f4", {names.size(), points}, sizeof(float));
    }
    std::optional<CHdf5Writer> hdf5;
    if (hdf5Path) {
      hdf5.emplace(*hdf5Path);
      hdf5->WriteDoubles("x", x);
      hdf5->BeginMatrix("intensity", names.size(), points);
    }
    const auto write = [&](std::string_view row) {
      if (npz) npz->Write(row);
      if (hdf5) hdf5->WriteRow(row);
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::string nanRow;
    for (uint64_t i = 0; i < points; ++i)
      nanRow.append(reinterpret_cast<const char*>(&nan), sizeof nan);
    for (const CBatchRecord& record : records) {
      if (record.status != CBatchStatus::kOk) {
        write(nanRow);
        continue;
      }
      for (const CStructurePiece& s : ReadPiece(PiecePath(record.index))) {
        if (s.row.size() != nanRow.size())
          throw std::runtime_error(record.path + ": its profile is not on the run's grid");
        write(s.row);
      }
    }
    if (npz) {
      npz->EndArray();
      npz->BeginArray("names", "<U" + std::to_string(width), {names.size()}, 4 * width);
      for (std::u32string name : wide) {
        name.resize(width, U'\0');
        npz->Write(std::string_view(reinterpret_cast<const char*>(name.data()), 4 * width));
      }
      npz->EndArray();
      npz->BeginArray("status", "|i1", {statuses.size()}, 1);
      npz->Write(std::string_view(reinterpret_cast<const char*>(statuses.data()), statuses.size()));
      npz->EndArray();
      npz->Commit();
    }
    if (hdf5) {
      hdf5->EndMatrix();
      hdf5->WriteStrings("names", names);
      hdf5->WriteBytes("status", statuses);
      hdf5->Commit();
    }
  }

  // NumPy's unicode strings hold code points; a byte that is not UTF-8 stands for itself.
  static std::u32string Utf32(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
      const auto byte = static_cast<unsigned char>(text[i]);
      const size_t length = byte < 0x80         ? 1
                            : (byte >> 5) == 6  ? 2
                            : (byte >> 4) == 14 ? 3
                            : (byte >> 3) == 30 ? 4
                                                : 0;
      char32_t code = length == 1   ? byte
                      : length == 2 ? byte & 0x1F
                      : length == 3 ? byte & 0x0F
                                    : byte & 0x07;
      bool valid = length > 0 && i + length <= text.size();
      for (size_t k = 1; valid && k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3F);
      }
      out += valid ? code : static_cast<char32_t>(byte);
      i += valid ? length : 1;
    }
    return out;
  }

  const CBatch& m_batch;
  const fs::path m_work;
  const CPlotSpec m_plot;
  std::ostream& m_err;
  std::ostringstream m_discard;  // notes of observed-data settings, which crystals never write
  CBatchCluster* const m_cluster;
  // Whether this process has sent the grid along with a row, and whether it has been written
  // into the work folder (by the process that writes).
  std::atomic<bool> m_gridSent{false}, m_gridStored{false};
};

// A worker rank of an MPI job: its arguments are those of rank 0, which refuses bad ones and
// says why; the worker ends quietly then.
int ServeBatch(std::span<const std::string> arguments, const CArguments& args,
               CBatchCluster& cluster) {
  std::optional<CBatch> batch;
  try {
    batch.emplace(BatchFrom(arguments, args, false));
  } catch (const CUsageError&) {
    return kExitUsage;
  }
  std::ostringstream quiet;
  CBatchRun(*batch, quiet, &cluster).Serve();
  return kExitSuccess;
}

}  // namespace

int RunBatchCommand(std::span<const std::string> arguments, std::ostream&, std::ostream& err) {
  const CArguments args(arguments, OptionSpecs());
  std::unique_ptr<CBatchCluster> cluster;
  if (args.Has("--mpi")) cluster = JoinBatchCluster();
  if (cluster && cluster->Rank() != 0) return ServeBatch(arguments, args, *cluster);
  const CBatch batch = BatchFrom(arguments, args, true);
  PrepareOutputFolder(batch.out);
  if (batch.formats.npz) {
    const uint64_t points = batch.patterns.calculation.plotSpec.ProfilePoints();
    if (NpzMemberSize("intensity", "<f4", {batch.inputs.size(), points}, sizeof(float)) >
        kLargestNpz)
      throw CUsageError(
          "--format npz: " + std::to_string(batch.inputs.size()) + " patterns of " +
          std::to_string(points) +
          " points pass the 4 GB of an archive without zip64; split the run with --shard, or "
          "write --format hdf5");
  }
  return CBatchRun(batch, err, cluster.get()).Run();
}
