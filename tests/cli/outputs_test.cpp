// The command line is safe with the user's data and says what it does: outputs never replace an
// input or each other, failures name their file and reason, and the outputs read in the usual
// tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <streambuf>

#include "cli/run_cli.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

std::string Quartz() {
  return TestDataPath("quartz.cif").string();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A scan of 200 points from 10 to 29.9 degrees.
std::string Scan() {
  std::string text = "# 2theta counts\n";
  for (int i = 0; i < 200; ++i)
    text += std::to_string(10.0 + 0.1 * i) + " " + std::to_string(50 + i % 7) + "\n";
  return text;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(CommandOutputs, NoCommandWritesOverItsInput) {
  CScratchFolder folder;
  const std::string scan = folder / "scan.txt";
  WriteFile(scan, Scan());
  // Without -o the output gets a name of its own.
  const CCliResult result = RunCli({"simulate", scan, "--out-dir", folder.Path().string()});
  EXPECT_EQ(result.status, kExitSuccess) << result.err;
  EXPECT_EQ(ReadWholeFile(scan), Scan());
  EXPECT_TRUE(fs::exists(folder / "scan-profile.txt"));
  // Naming an input as the output is refused before any work, for every command that writes.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"simulate", scan, "-o", scan},
        {"simulate", Quartz(), scan, "--peaks",
         "../" + folder.Path().filename().string() + "/scan.txt"},
        {"reflexions", Quartz(), "-o", Quartz()},
        {"convert", Quartz(), Quartz()}}) {
    const fs::path previous = fs::current_path();
    fs::current_path(folder.Path());  // the relative spelling of the same file
    const CCliResult refused = RunCli(arguments);
    fs::current_path(previous);
    EXPECT_EQ(refused.status, kExitUsage) << arguments[0];
    EXPECT_NE(refused.err.find("is one of the inputs"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(ReadWholeFile(scan), Scan());
}

TEST(CommandOutputs, OutputsOfOneRunNeverShareAName) {
  CScratchFolder folder;
  fs::create_directories(folder.Path() / "a");
  fs::create_directories(folder.Path() / "b");
  fs::copy_file(Quartz(), folder / "a/x.cif");
  fs::copy_file(TestDataPath("silicon.cif"), folder / "b/x.cif");
  const fs::path out = folder.Path() / "out";
  const CCliResult result = RunCli({"simulate", folder / "a/x.cif", folder / "b/x.cif", "--out-dir",
                                    out.string(), "--points", "500"});
  EXPECT_EQ(result.status, kExitSuccess) << result.err;
  EXPECT_TRUE(fs::exists(out / "x-profile.txt"));  // --out-dir was created
  EXPECT_TRUE(fs::exists(out / "x-profile-2.txt"));
  EXPECT_NE(result.err.find("x-profile.txt is already written or read by this run; writing"),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(out / "x-profile.txt"), ReadWholeFile(out / "x-profile-2.txt"));

  const CCliResult same = RunCli({"simulate", Quartz(), "-o", folder / "f.txt", "--reflexions",
                                  folder / "f.txt", "--points", "500"});
  EXPECT_EQ(same.status, kExitSuccess) << same.err;
  EXPECT_NE(ReadWholeFile(folder / "f.txt").find("\n0.0000\t"), std::string::npos);  // the profile
  EXPECT_NE(ReadWholeFile(folder / "f-2.txt").find("d(hkl)    2-Theta"),
            std::string::npos);  // the listing
}

// A stream whose every write fails, as the standard output does on a full disc.
class CFullStream : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(CommandOutputs, OutputThatNeverArrivesFailsTheRun) {
  CFullStream full;
  std::ostream out(&full);
  std::ostringstream err;
  const std::vector<std::string> arguments = {"reflexions", Quartz()};
  EXPECT_EQ(RunCommandLine(arguments, out, err), kExitFailure);
  EXPECT_NE(err.str().find("tessaline-cli: cannot write the output"), std::string::npos)
      << err.str();
}

TEST(CommandOutputs, FileErrorsNameTheFileAndTheReason) {
  CScratchFolder folder;
  const CCliResult directory = RunCli({"info", folder.Path().string()});
  EXPECT_EQ(directory.status, kExitFailure);
  EXPECT_EQ(directory.err.find(folder.Path().string() + ": Tessaline : ["), 0u) << directory.err;
  EXPECT_NE(directory.err.find("[Is a directory]"), std::string::npos) << directory.err;
  const std::string missingFolder = folder / "no/such/folder/q.txt";
  const CCliResult unwritable =
      RunCli({"simulate", Quartz(), "-o", missingFolder, "--points", "500"});
  EXPECT_EQ(unwritable.status, kExitFailure);
  EXPECT_NE(unwritable.err.find("[No such file or directory]"), std::string::npos)
      << unwritable.err;
  // The profile's own file is named: the input read well.
  EXPECT_EQ(unwritable.err.rfind(missingFolder + ": Tessaline : [", 0), 0u) << unwritable.err;
  EXPECT_EQ(unwritable.err.find(Quartz() + ":"), std::string::npos) << unwritable.err;
  if (fs::exists("/dev/full")) {
    const CCliResult full = RunCli({"simulate", Quartz(), "-o", "/dev/full", "--points", "500"});
    EXPECT_EQ(full.status, kExitFailure);
    EXPECT_EQ(full.err.rfind("/dev/full: Tessaline : [", 0), 0u) << full.err;
    EXPECT_NE(full.err.find("[No space left on device]"), std::string::npos) << full.err;
  }
  // Observed data written where they cannot go are named by that place as well.
  const std::string scan = folder / "scan.txt";
  WriteFile(scan, Scan());
  const CCliResult observed = RunCli({"simulate", scan, "-o", missingFolder});
  EXPECT_EQ(observed.status, kExitFailure);
  EXPECT_EQ(observed.err.rfind(missingFolder + ": ", 0), 0u) << observed.err;
}

// What no crystal can be is refused, naming its file, before any number reaches an output.
TEST(CommandOutputs, ImpossibleValuesNeverReachAnOutput) {
  CScratchFolder folder;
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::string quartz = ReadWholeFile(Quartz());
  const std::pair<std::string, const char*> cases[] = {
      {replaced(quartz, "4.9134(2)", "1e25"), "Impossible unit cell."},
      {replaced(replaced(quartz, "_atom_site_U_iso_or_equiv", "_atom_site_occupancy"), "0.0135",
                "1e200"),
       "Impossible occupancy."}};
  for (const auto& [text, alert] : cases) {
    const std::string file = folder / "impossible.cif";
    WriteFile(file, text);
    for (const char* command : {"simulate", "reflexions"}) {
      SCOPED_TRACE(std::string(command) + " " + alert);
      const CCliResult result = RunCli({command, file, "-o", "-"});
      EXPECT_EQ(result.status, kExitFailure);
      EXPECT_EQ(result.err.rfind(file + ": Tessaline : [", 0), 0u) << result.err;
      EXPECT_NE(result.err.find(alert), std::string::npos) << result.err;
      EXPECT_EQ(result.out.find("nan"), std::string::npos);
      EXPECT_EQ(result.out.find("inf"), std::string::npos);
    }
  }
}

TEST(CommandOutputs, FormatsByExtensionAndThePeakTable) {
  CScratchFolder folder;
  const CCliResult result =
      RunCli({"simulate", Quartz(), "-o", folder / "q.xy", "--range", "10:60", "--points", "5001",
              "--peaks", folder / "peaks.csv", "--anode", "Cu"});
  ASSERT_EQ(result.status, kExitSuccess) << result.err;
  const std::vector<std::string> xy = LinesOf(ReadWholeFile(folder / "q.xy"));
  EXPECT_EQ(xy[0].rfind("# Tessaline ", 0), 0u);
  EXPECT_EQ(xy[1], "# Radiation: X-rays, wavelength 1.540562 A");
  EXPECT_EQ(xy[2], "# Axis: 2θ (°)");
  EXPECT_EQ(xy[3], "# Profile: Gaussian");
  const size_t points = static_cast<size_t>(
      std::count_if(xy.begin(), xy.end(), [](const std::string& l) { return l[0] != '#'; }));
  EXPECT_EQ(points, 5001u);
  double x = 0.0, y = 0.0;
  EXPECT_EQ(std::sscanf(xy.back().c_str(), "%lf %lf", &x, &y), 2);
  EXPECT_NEAR(x, 60.0, 0.02);

  const std::vector<std::string> peaks = LinesOf(ReadWholeFile(folder / "peaks.csv"));
  EXPECT_EQ(peaks[0], "h,k,l,d (Å),2θ (°),intensity,relative intensity,multiplicity");
  double strongest = 0.0;
  for (size_t i = 1; i < peaks.size(); ++i) {
    int h, k, l, m;
    double d, position, intensity, relative;
    ASSERT_EQ(std::sscanf(peaks[i].c_str(), "%d,%d,%d,%lf,%lf,%lf,%lf,%d", &h, &k, &l, &d,
                          &position, &intensity, &relative, &m),
              8)
        << peaks[i];
    EXPECT_GE(position, 10.0);
    EXPECT_LE(position, 60.0);
    strongest = std::max(strongest, relative);
  }
  EXPECT_EQ(strongest, 1.0);

  const CScratchFolder& data = folder;
  WriteFile(data / "scan.xye",
            "10 100 10\n10.5 121 11\n11 144 12\n11.5 169 13\n12 196 14\n12.5 225 15\n");
  ASSERT_EQ(RunCli({"simulate", data / "scan.xye", "-o", data / "grid.xye", "--range", "0:20",
                    "--points", "200"})
                .status,
            kExitSuccess);
  const std::vector<std::string> xye = LinesOf(ReadWholeFile(data / "grid.xye"));
  EXPECT_EQ(xye[4], "# x intensity error");
  double e = 0.0;
  EXPECT_EQ(std::sscanf(xye[5].c_str(), "%lf %lf %lf", &x, &y, &e), 3);
  EXPECT_NEAR(e, 10.0 + (x - 10.0) * 2.0, 1e-6);  // interpolated as the values are
  ASSERT_EQ(RunCli({"simulate", data / "scan.xye", "-o", data / "grid.csv", "--range", "0:20",
                    "--points", "200"})
                .status,
            kExitSuccess);
  EXPECT_EQ(LinesOf(ReadWholeFile(data / "grid.csv"))[0], "2θ (°),intensity,error");
}

TEST(CommandOutputs, ProfilesWriteTheDecimalsTheirGridNeeds) {
  const CCliResult result =
      RunCli({"simulate", Quartz(), "-o", "-", "--axis", "1/d", "--range", "0:1.3"});
  ASSERT_EQ(result.status, kExitSuccess) << result.err;
  std::set<std::string> xs;
  size_t points = 0;
  for (const std::string& line : LinesOf(result.out)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find_first_not_of("0123456789.") != tab) continue;
    xs.insert(line.substr(0, tab));
    ++points;
  }
  EXPECT_GT(points, 70000u);
  EXPECT_EQ(xs.size(), points);  // no two points share a written x
}

TEST(CommandOutputs, SummaryAndCapAndEmptyRangeSayWhatTheyMean) {
  // The strongest peak of quartz overall lies at 26.6 degrees; within 30 to 90 another is the 100
  // %.
  const CCliResult summary =
      RunCli({"simulate", Quartz(), "-o", "-", "--range", "30:90", "--summary", "--points", "600"});
  ASSERT_EQ(summary.status, kExitSuccess) << summary.err;
  const std::vector<std::string> lines = LinesOf(summary.err);
  const auto first = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find('%') != std::string::npos;
  });
  ASSERT_NE(first, lines.end());
  EXPECT_NE(first->find("100.0%"), std::string::npos) << *first;
  for (auto line = first; line != lines.end(); ++line) {
    double position = 0.0;
    int h, k, l;
    double d;
    ASSERT_EQ(std::sscanf(line->c_str(), "%d %d %d %lf %lf", &h, &k, &l, &d, &position), 5)
        << *line;
    EXPECT_GE(position, 30.0);
    EXPECT_LE(position, 90.0);
  }

  const CCliResult capped =
      RunCli({"simulate", Quartz(), "-o", "-", "--max-reflexions", "10", "--points", "600"});
  // The count in range is the uncapped listing's, and the line after says how to lift the cap.
  size_t inRange = 0;
  for (const std::string& line :
       LinesOf(RunCli({"reflexions", Quartz(), "--max-reflexions", "0"}).out)) {
    int h, k, l;
    double d;
    if (std::sscanf(line.c_str(), "%d %d %d %lf", &h, &k, &l, &d) == 4) ++inRange;
  }
  EXPECT_NE(capped.err.find("10 of the "), std::string::npos) << capped.err;
  EXPECT_NE(capped.err.find("Raise the limit, or lift it"), std::string::npos);
  EXPECT_NE(capped.err.find("--max-reflexions 0 lifts it"), std::string::npos) << capped.err;
  size_t stated = 0;
  ASSERT_EQ(
      std::sscanf(capped.err.c_str() + capped.err.find("10 of the "), "10 of the %zu", &stated), 1);
  EXPECT_EQ(stated, inRange);

  const CCliResult empty =
      RunCli({"simulate", Quartz(), "-o", "-", "--range", "0:5", "--points", "600"});
  EXPECT_EQ(empty.status, kExitFailure);
  EXPECT_NE(empty.err.find("quartz: No reflexions found in range."), std::string::npos)
      << empty.err;
  EXPECT_EQ(empty.err.find("Too few points"), std::string::npos);
}

TEST(CommandOutputs, EveryStructureOfACifGivesAPattern) {
  CScratchFolder folder;
  const std::string twoBlocks =
      ReadWholeFile(TestDataPath("quartz.cif")) + "\n" + ReadWholeFile(TestDataPath("halite.cif"));
  WriteFile(folder / "two.cif", twoBlocks);
  const CCliResult result = RunCli({"simulate", folder / "two.cif", "--out-dir",
                                    folder.Path().string(), "--points", "500", "--quiet"});
  EXPECT_EQ(result.status, kExitSuccess) << result.err;
  EXPECT_TRUE(fs::exists(folder / "quartz-profile.txt"));
  EXPECT_TRUE(fs::exists(folder / "halite-profile.txt"));
  const std::string info = RunCli({"info", folder / "two.cif"}).out;
  EXPECT_NE(info.find("Title:           quartz"), std::string::npos) << info;
  EXPECT_NE(info.find("Title:           halite"), std::string::npos);
  const std::string listing = RunCli({"reflexions", folder / "two.cif"}).out;
  EXPECT_LT(listing.find("\nquartz\n"), listing.find("\nhalite\n"));
}

// The profile points of a profile-file text.
std::vector<std::pair<double, double>> ProfilePoints(const std::string& text) {
  std::vector<std::pair<double, double>> points;
  for (const std::string& line : LinesOf(text)) {
    double x = 0.0, y = 0.0;
    if (line.find('\t') != std::string::npos && std::sscanf(line.c_str(), "%lf\t%lf", &x, &y) == 2)
      points.emplace_back(x, y);
  }
  return points;
}

TEST(SimulateMixture, IsTheWeightedSumOfItsInputs) {
  const std::string silicon = TestDataPath("silicon.cif").string();
  const std::vector<std::string> grid = {"--range", "10:90", "--points", "4000",
                                         "-o",      "-",     "--quiet"};
  auto run = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), grid.begin(), grid.end());
    const CCliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, kExitSuccess) << result.err;
    return ProfilePoints(result.out);
  };
  const auto quartz = run({"simulate", Quartz()}), si = run({"simulate", silicon});
  const auto mixed = run({"simulate", Quartz(), silicon, "--mix", "0.7,0.5"});
  ASSERT_EQ(mixed.size(), quartz.size());
  for (size_t i = 0; i < mixed.size(); ++i)
    ASSERT_NEAR(mixed[i].second, 0.7 * quartz[i].second + 0.5 * si[i].second,
                1e-4 * std::max(1.0, mixed[i].second))
        << i;
  const auto equal = run({"simulate", Quartz(), silicon, "--mix", "equal"});
  EXPECT_NEAR(equal[2000].second, 0.5 * quartz[2000].second + 0.5 * si[2000].second,
              1e-4 * std::max(1.0, equal[2000].second));

  for (const char* bad : {"0.5", "0.5,-0.5", "a,b"}) {
    const CCliResult refused = RunCli({"simulate", Quartz(), silicon, "--mix", bad});
    EXPECT_EQ(refused.status, kExitUsage) << bad;
    EXPECT_NE(refused.err.find("--mix"), std::string::npos) << refused.err;
  }
}

TEST(CommandOutputs, InfoNeverCutsALine) {
  CScratchFolder folder;
  const std::string label(120, 'L');
  WriteFile(
      folder / "long.cif",
      "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\nloop_\n_atom_site_label\n"
      "_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n" +
          label + " Fe 0.123456 0.234567 0.345678\n");
  const std::string info = RunCli({"info", folder / "long.cif", "--quiet"}).out;
  const std::vector<std::string> lines = LinesOf(info);
  const auto site = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(label) != std::string::npos;
  });
  ASSERT_NE(site, lines.end()) << info;
  EXPECT_NE(site->find("0.34568"), std::string::npos) << *site;
  EXPECT_NE(site->find("none"), std::string::npos);
}

TEST(CommandHelp, EveryCommandExplainsItselfAndMistakesShowTheUsage) {
  for (const char* command : {"info", "convert", "reflexions", "structure-factors", "simulate",
                              "asf", "spacegroup", "preferences"}) {
    SCOPED_TRACE(command);
    const CCliResult help = RunCli({command, "--help"});
    EXPECT_EQ(help.status, kExitSuccess);
    EXPECT_EQ(help.out.rfind(std::string("Usage: tessaline-cli ") + command, 0), 0u) << help.out;
    EXPECT_NE(help.out.find("Examples:\n  tessaline-cli " + std::string(command)),
              std::string::npos);
    EXPECT_EQ(RunCli({"--help", command}).out, help.out);
  }
  const std::string simulate = RunCli({"simulate", "--help"}).out;
  for (const char* fact :
       {"(default 0:180)", "(default 72000)", "(default gaussian)", "degrees 2-theta (default 0.1)",
        "Angstrom (default 1.5405)", "tof flight path in metres (default 100)",
        "radians (default 0.06981)", "radius counts points"})
    EXPECT_NE(simulate.find(fact), std::string::npos) << fact;
  const CCliResult mistake = RunCli({"simulate", Quartz(), "--bogus"});
  EXPECT_EQ(mistake.status, kExitUsage);
  EXPECT_NE(mistake.err.find("Usage: tessaline-cli simulate FILE..."), std::string::npos)
      << mistake.err;
  EXPECT_NE(mistake.err.find("Try 'tessaline-cli simulate --help'"), std::string::npos);
}

}  // namespace
