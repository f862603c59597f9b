// A batch run as an MPI job gives what a run in one process gives. Built when MPI and its
// launcher were found.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/child_process.h"
#include "cli/commands.h"
#include "cli/run_cli.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kFewPoints = {"--points", "600", "--range", "10:70"};

// `tessaline-cli batch ARGUMENTS --mpi` as a job of `ranks` processes; its exit status, or
// nothing when it hung.
std::optional<int> MpiBatch(int ranks, const std::vector<std::string>& arguments,
                            const std::string& log) {
  std::vector<std::string> command{TESSALINE_MPIEXEC};
  std::istringstream flags(TESSALINE_MPIEXEC_FLAGS);
  for (std::string flag; flags >> flag;) command.push_back(flag);
  command.insert(command.end(),
                 {TESSALINE_MPIEXEC_NUMPROC_FLAG, std::to_string(ranks), TESSALINE_CLI, "batch"});
  command.insert(command.end(), arguments.begin(), arguments.end());
  command.push_back("--mpi");
  const pid_t pid = SpawnChild(command,
                               {// CI runs the suite as root, which Open MPI refuses without these.
                                "OMPI_ALLOW_RUN_AS_ROOT=1", "OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1",
                                // Containers forbid the cross-memory attach of shared memory.
                                "OMPI_MCA_btl_vader_single_copy_mechanism=none",
                                // The job stays on this machine: no remote shell to look for.
                                "OMPI_MCA_plm=isolated",
                                // Open MPI keeps allocations of its own until the process ends.
                                "ASAN_OPTIONS=detect_leaks=0"},
                               log);
  if (pid < 0) return std::nullopt;
  return WaitForChild(pid, std::chrono::seconds(300));
}

std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

// status.tsv without its seconds, which no two runs share.
std::string StatusWithoutTimes(const fs::path& out) {
  std::istringstream lines(ReadWholeFile(out / "status.tsv"));
  std::string table;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (fields.size() > 3) fields.erase(fields.begin() + 3);
    for (const std::string& field : fields) table += field + "|";
    table += "\n";
  }
  return table;
}

TEST(BatchMpi, TwoRanksWriteWhatOneProcessWrites) {
  CScratchFolder folder;
  std::vector<std::string> inputs;
  // More inputs than the worker is handed ahead, a broken one and a file of another format.
  for (int round = 0; round < 3; ++round)
    for (const auto& entry : fs::directory_iterator(TestDataPath(""))) {
      const std::string extension = entry.path().extension().string();
      if (extension != ".cif" && extension != ".vhtx") continue;
      inputs.push_back(folder /
                       ("r" + std::to_string(round) + "-" + entry.path().filename().string()));
      fs::copy_file(entry.path(), inputs.back());
    }
  std::sort(inputs.begin(), inputs.end());
  inputs.insert(inputs.begin() + 4, folder / "broken.cif");
  std::ofstream(inputs[4]) << "data_broken\n_cell_length_a 5\n";
  const auto arguments = [&](const fs::path& out) {
    std::vector<std::string> a = inputs;
    a.insert(a.end(), {"--out", out.string(), "--format", "profiles,npz,hdf5,csv"});
    a.insert(a.end(), kFewPoints.begin(), kFewPoints.end());
    return a;
  };
  const fs::path single = folder.Path() / "single", job = folder.Path() / "job";
  std::vector<std::string> command = arguments(single);
  command.insert(command.begin(), "batch");
  const CCliResult one = RunCli(command);
  ASSERT_EQ(one.status, kExitFailure) << one.err;

  const std::string log = folder / "job.log";
  EXPECT_EQ(MpiBatch(2, arguments(job), log), kExitFailure) << ReadWholeFile(log);
  EXPECT_EQ(FileNames(job), FileNames(single));
  EXPECT_EQ(FileNames(single).count("patterns.h5"), 1u);
  for (const std::string& name : FileNames(single))
    if (name != "status.tsv") {
      EXPECT_EQ(ReadWholeFile(job / name), ReadWholeFile(single / name)) << name;
    }
  EXPECT_EQ(StatusWithoutTimes(job), StatusWithoutTimes(single));
  EXPECT_NE(ReadWholeFile(log).find(inputs[4] + ": "), std::string::npos) << ReadWholeFile(log);
}

// Arguments that rank 0 refuses end the whole job, with the reason said once.
TEST(BatchMpi, RefusedArgumentsEndEveryRank) {
  CScratchFolder folder;
  std::ofstream(folder / "file") << "x";
  const std::string log = folder / "job.log";
  EXPECT_EQ(MpiBatch(3, {TestDataPath("quartz.cif").string(), "--out", folder / "file/out"}, log),
            kExitUsage)
      << ReadWholeFile(log);
  const std::string said = ReadWholeFile(log);
  const std::string reason = "cannot be created";
  const size_t first = said.find(reason);
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find(reason, first + 1), std::string::npos) << said;
}

}  // namespace
