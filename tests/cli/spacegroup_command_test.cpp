#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/run_cli.h"
#include "resources/spacegroup_table.h"

namespace {

TEST(SpacegroupCommand, AnswersForEveryNumber) {
  for (int number = 1; number <= 230; ++number) {
    const CCliResult result = RunCli({"spacegroup", std::to_string(number)});
    ASSERT_EQ(result.status, kExitSuccess) << number;
    EXPECT_NE(result.out.find("(No. " + std::to_string(number) + ")"), std::string::npos);
  }
}

TEST(SpacegroupCommand, PrintsTheGroupAndItsOperators) {
  const CCliResult result = RunCli({"spacegroup", "p 21/c"});
  EXPECT_EQ(result.status, kExitSuccess);
  EXPECT_EQ(result.out,
            "P 21/c spacegroup (No. 14)\n"
            "Number:             14\n"
            "Schoenflies symbol: C2h(5)\n"
            "Short symbol:       P 21/c\n"
            "Full symbol:        P 1 21/c 1\n"
            "Setting code:       21\n"
            "Origin choice:      0\n"
            "Crystal system:     Monoclinic\n"
            "Lattice:            P (centring multiplicity 1)\n"
            "4 general equivalent positions.\n"
            "(Using P lattice with 4 GEPs)\n"
            "   +x       +y       +z  \n"
            "   -x    1/2+y    1/2-z  \n"
            "   -x       -y       -z  \n"
            "   +x    1/2-y    1/2+z  \n");
}

TEST(SpacegroupCommand, TypedFormsAndOrigins) {
  EXPECT_NE(RunCli({"spacegroup", "F d -3 m [origin 2]"}).out.find("Origin choice:      2 [origin 2] centre (-3m)"),
            std::string::npos);
  EXPECT_NE(RunCli({"spacegroup", "F d -3 m", "--origin", "1"}).out.find("[origin 1] -4 3 m"), std::string::npos);
  EXPECT_NE(RunCli({"spacegroup", "P m -3 m [origin 2]"}).out.find("Origin choice:      0"), std::string::npos);
  for (const char* typed : {"P21/c", "P 1 21/c 1", "14", "C2h(5)", "F m 3 m", "P 3 m", "A 1", "F 1"})
    EXPECT_EQ(RunCli({"spacegroup", typed}).status, kExitSuccess) << typed;
  const CCliResult rhombohedral = RunCli({"spacegroup", "R -3 m", "--cell", "5,5,5,60,60,60"});
  EXPECT_NE(rhombohedral.out.find("Crystal system:     Rhombohedral"), std::string::npos);
  EXPECT_NE(rhombohedral.out.find("12 general equivalent positions."), std::string::npos);
  // The CIF suffixes choose the axes; without one (and without a cell) the hexagonal axes.
  for (const char* symbol : {"R -3 m", "R -3 m :H", "R -3 m:h"}) {
    SCOPED_TRACE(symbol);
    const std::string hexagonal = RunCli({"spacegroup", symbol}).out;
    EXPECT_NE(hexagonal.find("Setting code:       112"), std::string::npos) << hexagonal;
    EXPECT_NE(hexagonal.find("36 general equivalent positions."), std::string::npos);
  }
  const std::string axes = RunCli({"spacegroup", "R -3 m :R"}).out;
  EXPECT_NE(axes.find("Setting code:       111"), std::string::npos) << axes;
  EXPECT_NE(axes.find("12 general equivalent positions."), std::string::npos);
}

TEST(SpacegroupCommand, UnknownSymbolIsBadUsage) {
  const CCliResult result = RunCli({"spacegroup", "Q 42"});
  EXPECT_EQ(result.status, kExitUsage);
  EXPECT_EQ(result.err, "Spacegroup not recognised\n");
  EXPECT_EQ(RunCli({"spacegroup"}).status, kExitUsage);
  EXPECT_EQ(RunCli({"spacegroup", "P 1", "--origin", "3"}).status, kExitUsage);
  EXPECT_EQ(RunCli({"frobnicate"}).status, kExitUsage);
}

TEST(SpacegroupCommand, ListsTheWholeTable) {
  const CCliResult result = RunCli({"spacegroup", "--list"});
  EXPECT_EQ(result.status, kExitSuccess);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'),
            static_cast<long>(SpaceGroupRows().size()));
  EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "1\tC1(1)\tP 1\tP 1\t0\t0\t1");
}

TEST(AsfCommand, ExportsAndChecksTables) {
  const std::string path = (std::filesystem::temp_directory_path() / "asf_command_test.asf").string();
  EXPECT_EQ(RunCli({"asf", "--export", path}).status, kExitSuccess);
  EXPECT_EQ(RunCli({"asf", "--check", path}).out, path + ": 103 scattering-factor records\n");
  std::ofstream(path, std::ios::app) << "Fe 26 55.8 1 2 3 4 5 6 7 8\n";
  const CCliResult bad = RunCli({"asf", "--check", path});
  EXPECT_EQ(bad.status, kExitFailure);
  EXPECT_NE(bad.err.find("Input line 142 in the ASF data file"), std::string::npos) << bad.err;
  EXPECT_EQ(RunCli({"asf"}).status, kExitUsage);
  std::filesystem::remove(path);
}

TEST(CommandLine, HelpAndVersion) {
  EXPECT_EQ(RunCli({"--help"}).status, kExitSuccess);
  EXPECT_NE(RunCli({"--help"}).out.find("spacegroup"), std::string::npos);
  EXPECT_EQ(RunCli({"--version"}).out, std::string("Tessaline ") + TESSALINE_VERSION + "\n");
  EXPECT_EQ(RunCli({}).status, kExitUsage);
}

}  // namespace
