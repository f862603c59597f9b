#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "cli/batch_cluster.h"
#include "cli/batch_piece.h"
#include "cli/batch_record.h"
#include "cli/child_process.h"
#include "cli/hdf5_reader.h"
#include "cli/npz_writer.h"
#include "cli/run_cli.h"
#include "diffraction/reflexion_generator.h"
#include "errors/exceptions.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

// The structures the batch runs over, in the order --dir lists them.
std::vector<std::string> CifInputs() {
  std::vector<std::string> inputs;
  for (const auto& entry : fs::directory_iterator(TestDataPath("")))
    if (entry.path().extension() == ".cif") inputs.push_back(entry.path().string());
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

const std::vector<std::string> kFewPoints = {"--points", "600", "--range", "10:70"};

CCliResult Batch(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "batch");
  return RunCli(arguments);
}

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A reader of the stored zip and .npy members the batch writes, independent of the writer.
struct CNpyArray {
  std::string descr;
  std::vector<uint64_t> shape;
  std::string data;
};

uint32_t Le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
  return v;
}
uint16_t Le16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                               static_cast<unsigned char>(s[at + 1]) << 8);
}

CNpyArray ParseNpy(const std::string& file) {
  EXPECT_EQ(file.substr(0, 8), std::string("\x93NUMPY\x01\x00", 8));
  const size_t length = Le16(file, 8);
  EXPECT_EQ((10 + length) % 64, 0u);
  const std::string header = file.substr(10, length);
  CNpyArray array;
  const size_t descr = header.find("'descr': '") + 10;
  array.descr = header.substr(descr, header.find('\'', descr) - descr);
  EXPECT_NE(header.find("'fortran_order': False"), std::string::npos);
  const size_t open = header.find("'shape': (") + 10;
  std::string dims = header.substr(open, header.find(')', open) - open);
  for (size_t at = 0; at < dims.size();) {
    array.shape.push_back(std::stoull(dims.substr(at)));
    at = dims.find(',', at);
    if (at == std::string::npos) break;
    at = dims.find_first_not_of(", ", at);
    if (at == std::string::npos) break;
  }
  array.data = file.substr(10 + length);
  return array;
}

// Walks the central directory, checks each member's local header and CRC.
std::map<std::string, CNpyArray> ReadNpz(const fs::path& path) {
  const std::string zip = ReadWholeFile(path);
  const size_t end = zip.size() - 22;
  EXPECT_EQ(Le32(zip, end), 0x06054b50u);
  const size_t count = Le16(zip, end + 10);
  size_t at = Le32(zip, end + 16);
  std::map<std::string, CNpyArray> members;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(Le32(zip, at), 0x02014b50u);
    const uint32_t crc = Le32(zip, at + 16), size = Le32(zip, at + 20);
    const size_t nameLength = Le16(zip, at + 28);
    const std::string name = zip.substr(at + 46, nameLength);
    const size_t local = Le32(zip, at + 42);
    EXPECT_EQ(Le32(zip, local), 0x04034b50u);
    EXPECT_EQ(Le16(zip, local + 8), 0u) << "stored";
    EXPECT_EQ(Le32(zip, local + 14), crc);
    const std::string data = zip.substr(local + 30 + Le16(zip, local + 26), size);
    EXPECT_EQ(ZipCrc32(0, data), crc) << name;
    members[name.substr(0, name.size() - 4)] = ParseNpy(data);
    at += 46 + nameLength;
  }
  return members;
}

// The intensities of a profile file as simulate wrote it.
std::vector<double> ProfileValues(const std::string& text) {
  std::vector<double> values;
  std::istringstream lines(text);
  std::string line;
  int separators = 0;
  while (std::getline(lines, line)) {
    if (line.find_first_not_of('*') == std::string::npos && !line.empty()) {
      ++separators;
      continue;
    }
    if (separators < 2) continue;
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) values.push_back(std::stod(line.substr(tab + 1)));
  }
  return values;
}

std::vector<std::string> StatusRows(const fs::path& out) {
  std::vector<std::string> rows;
  std::istringstream lines(ReadWholeFile(out / "status.tsv"));
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  return rows;
}

std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(BatchCommand, EveryFormatHoldsWhatSimulateWritesForEachFile) {
  CScratchFolder folder;
  const std::vector<std::string> inputs = CifInputs();
  const fs::path single = folder.Path() / "single";
  ASSERT_EQ(
      RunCli(With(With({"simulate", "--out-dir", single.string()}, inputs), kFewPoints)).status,
      kExitSuccess);
  const fs::path out = folder.Path() / "batch";
  const CCliResult result = Batch(With({"--dir", TestDataPath("").string(), "--out", out.string(),
                                        "--format", "profiles,npz,csv", "--threads", "2"},
                                       kFewPoints));
  ASSERT_EQ(result.status, kExitSuccess) << result.err;

  for (const std::string& input : inputs) {
    const std::string name = fs::path(input).stem().string() + "-profile.txt";
    EXPECT_EQ(ReadWholeFile(out / name), ReadWholeFile(single / name)) << name;
  }
  // The vhtx file is a crystal format too, which --dir takes.
  EXPECT_TRUE(fs::exists(out / "strontium_titanate-profile.txt"));
  EXPECT_FALSE(fs::exists(out / "batch-work"));
  EXPECT_FALSE(fs::exists(out / "batch-manifest.tsv"));

  const std::map<std::string, CNpyArray> npz = ReadNpz(out / "patterns.npz");
  const CNpyArray& x = npz.at("x");
  const CNpyArray& intensity = npz.at("intensity");
  const CNpyArray& names = npz.at("names");
  const CNpyArray& status = npz.at("status");
  ASSERT_EQ(x.descr, "<f8");
  ASSERT_EQ(intensity.descr, "<f4");
  ASSERT_EQ(status.descr, "|i1");
  ASSERT_EQ(intensity.shape, (std::vector<uint64_t>{inputs.size() + 1, x.shape[0]}));
  EXPECT_EQ(x.shape[0], 600u);
  double first = 0.0;
  std::memcpy(&first, x.data.data(), sizeof first);
  EXPECT_DOUBLE_EQ(first, 10.0);
  const size_t width = std::stoul(names.descr.substr(2));
  for (size_t row = 0; row < inputs.size(); ++row) {
    std::string name;
    for (size_t c = 0; c < width; ++c) {
      const char32_t code = static_cast<char32_t>(Le32(names.data, 4 * (row * width + c)));
      if (code) name += static_cast<char>(code);
    }
    EXPECT_EQ(name, inputs[row]);
    EXPECT_EQ(status.data[row], 0);
    const std::vector<double> expected = ProfileValues(
        ReadWholeFile(single / (fs::path(inputs[row]).stem().string() + "-profile.txt")));
    ASSERT_EQ(expected.size(), x.shape[0]);
    for (size_t i = 0; i < expected.size(); ++i) {
      float value = 0.0f;
      std::memcpy(&value, intensity.data.data() + 4 * (row * x.shape[0] + i), 4);
      // The profile file holds 5 significant digits; the row the float32 of the same number.
      EXPECT_NEAR(value, expected[i], 1e-4 * std::abs(expected[i]) + 1e-30)
          << inputs[row] << " point " << i;
    }
  }

  // The peak table: each structure's rows are those of simulate's table, in the same order.
  const std::string peaks = ReadWholeFile(out / "peaks.csv");
  EXPECT_EQ(peaks.substr(0, peaks.find(',', 27)), "input,structure,h,k,l,d (Å)");
  for (const std::string& input : {inputs.front(), inputs.back()}) {
    const std::string table = folder / (fs::path(input).stem().string() + ".csv");
    ASSERT_EQ(RunCli(With({"simulate", input, "-o", (folder.Path() / "unused.txt").string(),
                           "--peaks", table},
                          kFewPoints))
                  .status,
              kExitSuccess);
    std::istringstream rows(ReadWholeFile(table));
    std::string row;
    std::getline(rows, row);
    size_t count = 0;
    while (std::getline(rows, row)) {
      std::vector<std::string> f;
      std::istringstream fields(row);
      for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
      const std::string expected = input + "," + fs::path(input).stem().string() + "," + f[0] +
                                   "," + f[1] + "," + f[2] + "," + f[3] + "," + f[4] + "," + f[6] +
                                   "\n";
      EXPECT_NE(peaks.find(expected), std::string::npos) << expected;
      ++count;
    }
    EXPECT_GT(count, 3u);
  }
}

TEST(BatchCommand, ABrokenFileGetsItsRefusedRowAndTheRunGoesOn) {
  CScratchFolder folder;
  const std::string broken = folder / "broken.cif";
  std::ofstream(broken) << "data_broken\n_cell_length_a 5\nloop_\n_atom_site_label\n";
  const std::string list = folder / "inputs.txt";
  std::ofstream(list) << "# a list\n"
                      << TestDataPath("quartz.cif").string() << "\n\n"
                      << broken << "\n"
                      << "/no/such/file.cif\n"
                      << TestDataPath("silicon.cif").string() << "\n";
  const fs::path out = folder.Path() / "out";
  const CCliResult result =
      Batch(With({"--list", list, "--out", out.string(), "--format", "npz,profiles"}, kFewPoints));
  EXPECT_EQ(result.status, kExitFailure);
  EXPECT_NE(result.err.find(broken + ": "), std::string::npos) << result.err;
  EXPECT_TRUE(fs::exists(out / "quartz-profile.txt"));
  EXPECT_TRUE(fs::exists(out / "silicon-profile.txt"));
  const std::vector<std::string> rows = StatusRows(out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], "path\tstatus\treflexions\tseconds\twarnings\tmessage");
  EXPECT_EQ(rows[1].substr(0, rows[1].find('\t', rows[1].find('\t') + 1)),
            TestDataPath("quartz.cif").string() + "\tok");
  EXPECT_EQ(rows[2].substr(0, broken.size() + 9), broken + "\trefused\t");
  EXPECT_NE(rows[3].find("Unable to locate file."), std::string::npos) << rows[3];
  const std::map<std::string, CNpyArray> npz = ReadNpz(out / "patterns.npz");
  EXPECT_EQ(npz.at("status").data, std::string("\0\1\1\0", 4));
  float value = 0.0f;
  std::memcpy(&value, npz.at("intensity").data.data() + 4 * 600, 4);
  EXPECT_TRUE(std::isnan(value));
  std::memcpy(&value, npz.at("intensity").data.data() + 4 * 3 * 600 + 4 * 300, 4);
  EXPECT_FALSE(std::isnan(value));
}

// A list refused for its memory is refused for that reason, not for "no reflexions in range".
TEST(BatchCommand, AListBeyondTheMemoryBudgetIsRefusedForThatReason) {
  CScratchFolder folder;
  const fs::path out = folder.Path() / "out";
  const double budget = ReflexionMemoryBudget();
  SetReflexionMemoryBudget(1000.0);
  const CCliResult result =
      Batch(With({TestDataPath("quartz.cif").string(), "--out", out.string()}, kFewPoints));
  SetReflexionMemoryBudget(budget);
  EXPECT_EQ(result.status, kExitFailure);
  const std::vector<std::string> rows = StatusRows(out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[1].find("\trefused\t"), std::string::npos) << rows[1];
  EXPECT_NE(rows[1].find("more than the 0.0 GB allowed"), std::string::npos) << rows[1];
  EXPECT_EQ(rows[1].find("No reflexions"), std::string::npos) << rows[1];
}

TEST(BatchCommand, AResumedRunComputesNothingTwiceAndEndsAlike) {
  CScratchFolder folder;
  std::vector<std::string> copies;
  for (const std::string& input : CifInputs()) {
    copies.push_back(folder / fs::path(input).filename().string());
    fs::copy_file(input, copies.back());
  }
  const fs::path whole = folder.Path() / "whole", resumed = folder.Path() / "resumed";
  const std::vector<std::string> options = With({"--format", "profiles"}, kFewPoints);
  ASSERT_EQ(Batch(With(With(copies, {"--out", whole.string()}), options)).status, kExitSuccess);

  // What a kill leaves: the first input finished (its piece and manifest line written), the
  // second one's line cut short.
  const std::vector<std::string> arguments =
      With(With(copies, {"--out", resumed.string()}), options);
  std::string header = "# tessaline-cli batch ";
  for (const std::string& a : arguments) header += a + " ";
  fs::create_directories(resumed / "batch-work");
  const std::string first = fs::path(copies[0]).stem().string();
  WritePiece((resumed / "batch-work" / "0.piece").string(),
             {{first, ReadWholeFile(whole / (first + "-profile.txt")), "", ""}});
  CBatchRecord record{0, copies[0], CBatchStatus::kOk, "", 12, 7.25, 0};
  std::ofstream(resumed / "batch-manifest.tsv") << header << "\n"
                                                << RecordLine(record) << "1\tok\t3";
  // Were the finished input read again, it would now be refused.
  std::ofstream(copies[0]) << "not a crystal";

  EXPECT_EQ(Batch(With(arguments, {"--threads", "1"})).status, kExitUsage)
      << "--resume is needed to keep it";
  EXPECT_TRUE(fs::exists(resumed / "batch-work" / "0.piece"));
  const CCliResult other = Batch(With(With(arguments, {"--resume"}), {"--strain", "0.01"}));
  EXPECT_EQ(other.status, kExitUsage);
  EXPECT_NE(other.err.find("other options"), std::string::npos) << other.err;

  const CCliResult result = Batch(With(arguments, {"--resume", "--threads", "2"}));
  ASSERT_EQ(result.status, kExitSuccess) << result.err;
  for (const std::string& name : FileNames(whole))
    if (name != "status.tsv") {
      EXPECT_EQ(ReadWholeFile(resumed / name), ReadWholeFile(whole / name)) << name;
    }
  EXPECT_EQ(FileNames(resumed), FileNames(whole));
  const std::vector<std::string> rows = StatusRows(resumed);
  ASSERT_EQ(rows.size(), copies.size() + 1);
  EXPECT_EQ(rows[1], copies[0] + "\tok\t12\t7.250\t0\t");
  for (size_t i = 2; i < rows.size(); ++i)
    EXPECT_NE(rows[i].find("\tok\t"), std::string::npos) << rows[i];
}

TEST(BatchCommand, ShardsAndThreadCountsDoNotChangeTheResults) {
  CScratchFolder folder;
  const std::vector<std::string> inputs = CifInputs();
  const auto run = [&](const std::string& name, std::vector<std::string> extra) {
    const fs::path out = folder.Path() / name;
    const CCliResult result = Batch(
        With(With(With(inputs, {"--out", out.string(), "--format", "profiles,npz"}), kFewPoints),
             extra));
    EXPECT_EQ(result.status, kExitSuccess) << result.err;
    return out;
  };
  const fs::path one = run("one", {"--threads", "1"});
  const fs::path two = run("two", {"--threads", "2"});
  EXPECT_EQ(ReadWholeFile(one / "patterns.npz"), ReadWholeFile(two / "patterns.npz"));

  std::map<std::string, std::string> united;
  size_t rows = 0;
  for (int k = 0; k < 3; ++k) {
    const fs::path shard = run("shard" + std::to_string(k), {"--shard", std::to_string(k) + "/3"});
    for (const std::string& name : FileNames(shard))
      if (name.ends_with("-profile.txt")) {
        EXPECT_TRUE(united.emplace(name, ReadWholeFile(shard / name)).second) << name;
      }
    const std::map<std::string, CNpyArray> npz = ReadNpz(shard / "patterns.npz");
    rows += npz.at("intensity").shape[0];
  }
  std::map<std::string, std::string> single;
  for (const std::string& name : FileNames(two))
    if (name.ends_with("-profile.txt")) single.emplace(name, ReadWholeFile(two / name));
  EXPECT_EQ(united, single);
  EXPECT_EQ(rows, inputs.size());
}

// --dir takes a crystal file whose extension no format claims by its content, and passes over
// data files; --size is the crystallite size, as for simulate; the help lists only what batch
// takes, with the defaults it uses.
TEST(BatchCommand, FolderInputsByContentTheSizeOptionAndTheHelp) {
  CScratchFolder folder;
  fs::create_directories(folder / "in/deeper");
  fs::copy_file(TestDataPath("quartz.cif"), folder / "in/deeper/quartz.structure");
  fs::copy_file(TestDataPath("silicon.cif"), folder / "in/silicon.cif");
  std::ofstream(folder / "in/scan.xy") << "10 1\n20 2\n30 3\n";
  std::ofstream(folder / "in/notes.readme") << "not a crystal\n";
  const fs::path byDir = folder.Path() / "by-dir";
  const CCliResult run = Batch(
      With({"--dir", folder / "in", "--out", byDir.string(), "--threads", "1", "--size", "300"},
           kFewPoints));
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  const std::vector<std::string> rows = StatusRows(byDir);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].substr(0, rows[1].find('\t')), folder / "in/deeper/quartz.structure");
  EXPECT_EQ(rows[2].substr(0, rows[2].find('\t')), folder / "in/silicon.cif");

  const fs::path named = folder.Path() / "named";
  ASSERT_EQ(Batch(With({folder / "in/deeper/quartz.structure", folder / "in/silicon.cif", "--out",
                        named.string(), "--threads", "1", "--particle-size", "300"},
                       kFewPoints))
                .status,
            kExitSuccess);
  for (const char* name : {"quartz-profile.txt", "silicon-profile.txt"})
    EXPECT_EQ(ReadWholeFile(byDir / name), ReadWholeFile(named / name)) << name;

  const std::string help = RunCli({"batch", "--help"}).out;
  EXPECT_EQ(help.find("--mix"), std::string::npos);
  EXPECT_NE(help.find("--range MIN:MAX       the x range in the axis unit (default 5:90)"),
            std::string::npos)
      << help;
  EXPECT_NE(help.find("--points N            points of the profile (default 4500)"),
            std::string::npos);
  EXPECT_NE(help.find("--size A"), std::string::npos);
  EXPECT_EQ(help.find("checked when its calculation ends"), std::string::npos);
}

TEST(BatchCommand, BadShardsAndUnwritableFoldersAreUsageErrorsBeforeAnyWork) {
  CScratchFolder folder;
  const std::string out = folder / "out";
  for (const std::string shard : {"3/2", "2/2", "-1/2", "1", "a/b", "1/0"}) {
    const CCliResult result =
        Batch({TestDataPath("quartz.cif").string(), "--out", out, "--shard", shard});
    EXPECT_EQ(result.status, kExitUsage) << shard;
    EXPECT_NE(result.err.find("--shard"), std::string::npos) << result.err;
  }
  EXPECT_FALSE(fs::exists(out));
  std::ofstream(folder / "file") << "x";
  const CCliResult blocked =
      Batch({TestDataPath("quartz.cif").string(), "--out", folder / "file/out"});
  EXPECT_EQ(blocked.status, kExitUsage);
  EXPECT_NE(blocked.err.find("--out"), std::string::npos) << blocked.err;
  EXPECT_EQ(Batch({TestDataPath("quartz.cif").string(), "--out", out, "--format", "hdf6"}).status,
            kExitUsage);
  if (!BatchClusterAvailable()) {
    const CCliResult mpi = Batch({TestDataPath("quartz.cif").string(), "--out", out, "--mpi"});
    EXPECT_EQ(mpi.status, kExitUsage);
    EXPECT_NE(mpi.err.find("--mpi: this tessaline-cli was built without MPI"), std::string::npos)
        << mpi.err;
  }
  EXPECT_EQ(Batch({"--out", out, "--dir", folder / "missing"}).status, kExitUsage);
  EXPECT_EQ(FileNames(folder.Path()), std::set<std::string>{"file"});
}

// The names of an .npz archive's unicode array, as UTF-8 (the test names are ASCII).
std::vector<std::string> NpzNames(const CNpyArray& names) {
  const size_t width = std::stoul(names.descr.substr(2));
  std::vector<std::string> out;
  for (size_t row = 0; row < names.shape[0]; ++row) {
    std::string name;
    for (size_t c = 0; c < width; ++c)
      if (const uint32_t code = Le32(names.data, 4 * (row * width + c)))
        name += static_cast<char>(code);
    out.push_back(name);
  }
  return out;
}

// The HDF5 file and the .npz archive of one run hold the same arrays, to the bit.
void ExpectSameArrays(const fs::path& out) {
  const std::map<std::string, CNpyArray> npz = ReadNpz(out / "patterns.npz");
  const CHdf5Batch h5 = ReadHdf5Batch((out / "patterns.h5").string());
  EXPECT_TRUE(h5.compressed);
  ASSERT_EQ(h5.shape, (std::vector<hsize_t>(npz.at("intensity").shape.begin(),
                                            npz.at("intensity").shape.end())));
  ASSERT_EQ(h5.intensity.size() * sizeof(float), npz.at("intensity").data.size());
  EXPECT_EQ(std::memcmp(h5.intensity.data(), npz.at("intensity").data.data(),
                        npz.at("intensity").data.size()),
            0);
  ASSERT_EQ(h5.x.size() * sizeof(double), npz.at("x").data.size());
  EXPECT_EQ(std::memcmp(h5.x.data(), npz.at("x").data.data(), npz.at("x").data.size()), 0);
  EXPECT_EQ(h5.names, NpzNames(npz.at("names")));
  EXPECT_EQ(std::string(h5.status.begin(), h5.status.end()), npz.at("status").data);
}

// The intensities simulate writes for one file on its own, or nothing when it refuses it.
std::optional<std::vector<double>> SimulatedAlone(const CScratchFolder& folder,
                                                  const std::string& input) {
  const std::string profile = folder / "alone-profile.txt";
  if (RunCli(With({"simulate", input, "-o", profile}, kFewPoints)).status != kExitSuccess)
    return std::nullopt;
  return ProfileValues(ReadWholeFile(profile));
}

void ExpectRowMatches(const CHdf5Batch& h5, size_t row, const std::vector<double>& expected) {
  ASSERT_EQ(expected.size(), h5.shape[1]) << h5.names[row];
  for (size_t i = 0; i < expected.size(); ++i) {
    // The profile file holds 5 significant digits; the row the float32 of the same number.
    ASSERT_NEAR(h5.intensity[row * h5.shape[1] + i], expected[i],
                1e-4 * std::abs(expected[i]) + 1e-30)
        << h5.names[row] << " point " << i;
  }
}

TEST(BatchCommand, TheHdf5FileHoldsTheArchivesArraysAndSimulatesProfiles) {
  CScratchFolder folder;
  const std::string broken = folder / "broken.cif";
  std::ofstream(broken) << "data_broken\n_cell_length_a 5\nloop_\n_atom_site_label\n";
  std::vector<std::string> inputs = CifInputs();
  inputs.insert(inputs.begin() + 2, broken);
  inputs.push_back(TestDataPath("strontium_titanate.vhtx").string());
  const fs::path out = folder.Path() / "out";
  const CCliResult result = Batch(With(
      With(inputs, {"--out", out.string(), "--format", "hdf5,npz", "--threads", "2"}), kFewPoints));
  EXPECT_EQ(result.status, kExitFailure) << result.err;
  ExpectSameArrays(out);

  const CHdf5Batch h5 = ReadHdf5Batch((out / "patterns.h5").string());
  ASSERT_EQ(h5.names.size(), inputs.size());
  EXPECT_EQ(h5.x.size(), 600u);
  EXPECT_DOUBLE_EQ(h5.x.front(), 10.0);
  EXPECT_NEAR(h5.x.back(), 69.9, 1e-9);
  for (size_t row = 0; row < inputs.size(); ++row) {
    EXPECT_EQ(h5.names[row], inputs[row]);
    const std::optional<std::vector<double>> alone = SimulatedAlone(folder, inputs[row]);
    if (!alone) {
      EXPECT_EQ(h5.status[row], 1) << inputs[row];
      EXPECT_TRUE(std::isnan(h5.intensity[row * 600 + 300])) << inputs[row];
      continue;
    }
    EXPECT_EQ(h5.status[row], 0) << inputs[row];
    ExpectRowMatches(h5, row, *alone);
  }
}

// Both public collections (the real-world files and the corpus of awkward ones) in npz and HDF5,
// each row against simulate on its file alone. A sample of the files below 12 kB keeps the suite
// short under the sanitizers, where the big cells take seconds each.
TEST(BatchCommand, ThePublicCollectionsGiveSimulatesProfilesInEveryMatrixFormat) {
  SKIP_WITHOUT_SHARED_DATA();
  CScratchFolder folder;
  std::vector<std::string> inputs;
  for (const char* collection : {"cif", "corpus"}) {
    std::vector<std::string> files;
    if (!fs::is_directory(SharedDataPath() / collection)) continue;
    for (const auto& entry : fs::directory_iterator(SharedDataPath() / collection))
      if (entry.path().extension() == ".cif" && entry.file_size() < 12000)
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    const size_t step = std::string(collection) == "cif" ? 2 : 8;
    for (size_t i = 0; i < files.size(); i += step) inputs.push_back(files[i]);
  }
  const std::string list = folder / "inputs.txt";
  {
    std::ofstream file(list);
    for (const std::string& input : inputs) file << input << "\n";
  }
  const fs::path out = folder.Path() / "out";
  const CCliResult result =
      Batch(With({"--list", list, "--out", out.string(), "--format", "npz,hdf5", "--threads", "2"},
                 kFewPoints));
  ASSERT_NE(result.status, kExitUsage) << result.err;
  ExpectSameArrays(out);
  const CHdf5Batch h5 = ReadHdf5Batch((out / "patterns.h5").string());
  size_t compared = 0;
  for (size_t row = 0; row < h5.names.size(); ++row) {
    if (h5.names[row].find('#') != std::string::npos) continue;  // one of several structures
    const std::optional<std::vector<double>> alone = SimulatedAlone(folder, h5.names[row]);
    if (!alone) {
      EXPECT_NE(h5.status[row], 0) << h5.names[row];
      continue;
    }
    ASSERT_EQ(h5.status[row], 0) << h5.names[row];
    ExpectRowMatches(h5, row, *alone);
    ++compared;
  }
  EXPECT_GT(compared, inputs.size() / 2);
}

// `rounds` copies of every test structure in `folder`, each under a name of its own.
std::vector<std::string> CopiedInputs(const CScratchFolder& folder, int rounds) {
  std::vector<std::string> copies;
  for (int round = 0; round < rounds; ++round)
    for (const std::string& input : CifInputs()) {
      copies.push_back(folder /
                       ("r" + std::to_string(round) + "-" + fs::path(input).filename().string()));
      fs::copy_file(input, copies.back());
    }
  return copies;
}

// The inputs the manifest in `out` names as finished, as far as it is written.
std::map<size_t, CBatchRecord> ManifestRecords(const fs::path& out) {
  std::map<size_t, CBatchRecord> finished;
  std::istringstream lines(ReadWholeFile(out / "batch-manifest.tsv"));
  std::string line;
  std::getline(lines, line);  // the settings
  while (std::getline(lines, line) && !lines.eof())
    if (const std::optional<CBatchRecord> record = RecordOfLine(line))
      finished[record->index] = *record;
  return finished;
}

// A batch in a process of its own, stopped by `signal` once a quarter of its inputs are
// finished; returns how it ended.
std::optional<int> BatchStoppedHalfway(const std::vector<std::string>& arguments,
                                       const fs::path& out, size_t inputs, int signal,
                                       const std::string& log) {
  std::vector<std::string> command{TESSALINE_CLI, "batch"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const pid_t pid = SpawnChild(command, {}, log);
  if (pid <= 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (ManifestRecords(out).size() < inputs / 4 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ::kill(pid, signal);
  return WaitForChild(pid, std::chrono::seconds(60));
}

// Every output but the status table is the same file in both folders.
void ExpectTheOutputsOf(const fs::path& whole, const fs::path& resumed) {
  EXPECT_EQ(FileNames(resumed), FileNames(whole));
  for (const std::string& name : FileNames(whole))
    if (name != "status.tsv") {
      EXPECT_EQ(ReadWholeFile(resumed / name), ReadWholeFile(whole / name)) << name;
    }
}

// A real kill, in the middle of a run in a process of its own; the inputs it finished are then
// made unreadable, so that the resumed run would refuse any of them it computed again.
TEST(BatchCommand, ARunKilledHalfwayResumesWithoutComputingAFinishedInputAgain) {
  CScratchFolder folder;
  const std::vector<std::string> copies = CopiedInputs(folder, 8);
  const std::vector<std::string> options =
      With({"--format", "profiles,npz,hdf5,csv", "--threads", "1"}, kFewPoints);
  const fs::path whole = folder.Path() / "whole", killed = folder.Path() / "killed";
  ASSERT_EQ(Batch(With(With(copies, {"--out", whole.string()}), options)).status, kExitSuccess);

  const std::vector<std::string> arguments =
      With(With(copies, {"--out", killed.string()}), options);
  ASSERT_EQ(BatchStoppedHalfway(arguments, killed, copies.size(), SIGKILL, folder / "killed.log"),
            -SIGKILL)
      << "the run ended before the kill: " << ReadWholeFile(folder / "killed.log");
  ASSERT_FALSE(fs::exists(killed / "status.tsv"));
  // What the manifest held at the kill: lines written after the last look count too.
  const std::map<size_t, CBatchRecord> finished = ManifestRecords(killed);
  ASSERT_GE(finished.size(), copies.size() / 4);
  ASSERT_LT(finished.size(), copies.size());
  for (const auto& [index, record] : finished) std::ofstream(copies[index]) << "not a crystal";

  const CCliResult resumed = Batch(With(arguments, {"--resume"}));
  ASSERT_EQ(resumed.status, kExitSuccess) << resumed.err;
  ExpectTheOutputsOf(whole, killed);
  const std::vector<std::string> rows = StatusRows(killed);
  ASSERT_EQ(rows.size(), copies.size() + 1);
  for (size_t i = 1; i < rows.size(); ++i)
    EXPECT_EQ(rows[i].substr(0, copies[i - 1].size() + 4), copies[i - 1] + "\tok\t") << rows[i];
}

// Ctrl-C stops the run after the inputs in work and writes what is finished as a run of those
// inputs would; --resume then ends as an uninterrupted run does.
TEST(BatchCommand, AnInterruptedRunWritesWhatIsFinishedAndResumes) {
  CScratchFolder folder;
  const std::vector<std::string> copies = CopiedInputs(folder, 6);
  const std::vector<std::string> options =
      With({"--format", "profiles,npz,csv", "--threads", "1"}, kFewPoints);
  const fs::path whole = folder.Path() / "whole", stopped = folder.Path() / "stopped";
  ASSERT_EQ(Batch(With(With(copies, {"--out", whole.string()}), options)).status, kExitSuccess);

  const std::vector<std::string> arguments =
      With(With(copies, {"--out", stopped.string()}), options);
  ASSERT_EQ(BatchStoppedHalfway(arguments, stopped, copies.size(), SIGINT, folder / "stopped.log"),
            130)
      << ReadWholeFile(folder / "stopped.log");
  const size_t finished = ManifestRecords(stopped).size();
  ASSERT_LT(finished, copies.size()) << "the run ended before the interrupt";

  const std::vector<std::string> rows = StatusRows(stopped);
  ASSERT_EQ(rows.size(), finished + 1);
  for (size_t i = 1; i < rows.size(); ++i)
    EXPECT_NE(rows[i].find("\tok\t"), std::string::npos) << rows[i];
  const auto archive = ReadNpz(stopped / "patterns.npz");
  ASSERT_EQ(archive.at("intensity").shape.at(0), finished);
  size_t profiles = 0;
  for (const std::string& name : FileNames(stopped)) profiles += name.ends_with("-profile.txt");
  EXPECT_EQ(profiles, finished);
  EXPECT_TRUE(fs::exists(stopped / "peaks.csv"));

  const CCliResult resumed = Batch(With(arguments, {"--resume"}));
  ASSERT_EQ(resumed.status, kExitSuccess) << resumed.err;
  ExpectTheOutputsOf(whole, stopped);
}

// What a worker process sends back, as rank 0 reads it; a message cut short is refused.
TEST(BatchCommand, OutcomesTravelWholeAndCutOnesAreRefused) {
  CBatchOutcome outcome;
  outcome.record = {7, "/data/a\tb.cif", CBatchStatus::kOk, "", 42, 0.125, 3};
  outcome.grid = std::string("\0\1\2\n3", 5);
  outcome.structures = {{"alpha", "profile\ntext", std::string("\0\0\x80\x3f", 4), "1,2\n"},
                        {"beta", "", "", ""}};
  const std::string text = OutcomeText(outcome);
  const CBatchOutcome back = OutcomeOfText(text);
  EXPECT_EQ(RecordLine(back.record), RecordLine(outcome.record));
  EXPECT_EQ(back.grid, outcome.grid);
  ASSERT_EQ(back.structures.size(), 2u);
  EXPECT_EQ(back.structures[0].row, outcome.structures[0].row);
  EXPECT_EQ(back.structures[0].profile, "profile\ntext");
  EXPECT_EQ(back.structures[1].title, "beta");
  for (const size_t cut : {size_t{0}, size_t{3}, text.size() / 2, text.size() - 1})
    EXPECT_THROW(OutcomeOfText(text.substr(0, cut)), CVHXFileInvalid) << cut;
  EXPECT_THROW(OutcomeOfText("999999999999999999999999\n"), CVHXFileInvalid);
}

}  // namespace
