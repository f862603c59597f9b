#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "cli/run_cli.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

std::string Quartz() { return TestDataPath("quartz.cif").string(); }

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(SimulateCommand, WritesTheProfileToStandardOutput) {
  const CCliResult result = RunCli({"simulate", Quartz(), "-o", "-", "--points", "1000", "--summary"});
  ASSERT_EQ(result.status, kExitSuccess) << result.err;
  EXPECT_EQ(result.out.find(std::string(88, '*') + "\nquartz\n"), 0u);
  EXPECT_EQ(Lines(result.out), 7u + 1000u);
  EXPECT_NE(result.out.find("\n0.0000\t0.0000e+00\n0.1800\t"), std::string::npos);
  // The summary stays out of the profile.
  EXPECT_NE(result.err.find("quartz: the 10 strongest peaks"), std::string::npos);
  EXPECT_NE(result.err.find("   0    1    1   3.34342      26.6386   100.0%"), std::string::npos) << result.err;
}

TEST(SimulateCommand, OneFilePerInputAndUnreadableInputsReported) {
  CScratchFolder folder;
  const fs::path out = folder.Path() / "pattern.txt";
  const CCliResult result = RunCli({"simulate", Quartz(), "/no/such/file.cif", TestDataPath("silicon.cif").string(),
                                    "-o", out.string(), "--profile", "pseudo-voigt", "--eta", "0.5", "--ka2",
                                    "--size", "500", "--strain", "0.001", "--range", "10:100", "--points", "9000"});
  EXPECT_EQ(result.status, kExitFailure);
  EXPECT_NE(result.err.find("Unable to locate file."), std::string::npos) << result.err;
  EXPECT_EQ(Lines(ReadWholeFile(folder.Path() / "pattern-quartz.txt")), 7u + 9000u);
  EXPECT_TRUE(fs::exists(folder.Path() / "pattern-silicon.txt"));

  EXPECT_EQ(RunCli({"simulate", Quartz(), "--out-dir", folder.Path().string(), "--points", "100"}).status,
            kExitSuccess);
  EXPECT_TRUE(fs::exists(folder.Path() / "quartz-profile.txt"));
}

TEST(SimulateCommand, WritesTheListingsInTheSameRun) {
  CScratchFolder folder;
  const std::string reflexions = (folder.Path() / "reflexions.txt").string();
  const CCliResult result = RunCli({"simulate", Quartz(), TestDataPath("silicon.cif").string(), "--out-dir",
                                    folder.Path().string(), "--reflexions", reflexions, "--structure-factors", "-"});
  EXPECT_EQ(result.status, kExitSuccess) << result.err;
  const std::string listing = ReadWholeFile(reflexions);
  EXPECT_LT(listing.find("\nquartz\n"), listing.find("\nsilicon\n"));
  EXPECT_NE(listing.find("  h   k   l   d(hkl)    2-Theta"), std::string::npos);
  EXPECT_NE(result.out.find("ref no.   h   k   l   d(hkl)    Phase"), std::string::npos);
}

TEST(SimulateCommand, RefusesBadOptions) {
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--points", "0"}, {"--points", "4"}, {"--points", "100000000000"},
        {"--range", "10:5"}, {"--range", "10"}, {"--range", "a:b"}, {"--range", "0:inf"}, {"--profile", "voigt"},
        {"--eta", "1.5"}, {"--width", "0"}, {"--width", "-1"}, {"--size", "0"}, {"--size", "20000"},
        {"--strain", "-0.1"}, {"--wavelength2", "1.5"}, {"--ka2", "--radiation", "neutron"},
        {"--ka2", "--ratio", "-1"}, {"-o", "-", "--out-dir", "/tmp"}, {"--unknown"}}) {
    std::vector<std::string> arguments = {"simulate", Quartz()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const CCliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, kExitUsage) << options[0] << " " << (options.size() > 1 ? options[1] : "");
    EXPECT_NE(result.err.find("tessaline-cli simulate: "), std::string::npos) << result.err;
  }
  EXPECT_EQ(RunCli({"simulate"}).status, kExitUsage);
}

}  // namespace
