// Session files through the command line: what simulate and plot save is what the commands read
// back; info, reflexions and structure-factors take sessions like any other input; a damaged
// session is refused naming the file, with nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/run_cli.h"
#include "document/tess_doc.h"
#include "files/session_file.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

std::string TestFile(const char* name) {
  return TestDataPath(name).string();
}

// The two columns of an .xy profile, without its '#' lines.
std::vector<std::pair<double, double>> XyColumns(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::pair<double, double>> points;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    fields.imbue(std::locale::classic());
    double x = 0.0, y = 0.0;
    fields >> x >> y;
    points.emplace_back(x, y);
  }
  return points;
}

void ExpectSameProfile(const std::string& expected, const std::string& actual) {
  const auto a = XyColumns(expected), b = XyColumns(actual);
  ASSERT_EQ(a.size(), b.size()) << actual;
  ASSERT_FALSE(a.empty());
  double largest = 0.0;
  for (const auto& point : a) largest = std::max(largest, point.second);
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_DOUBLE_EQ(a[i].first, b[i].first) << actual << " point " << i;
    // The session keeps coordinates and cell as 32-bit values.
    ASSERT_NEAR(a[i].second, b[i].second, 1e-4 * largest) << actual << " point " << i;
  }
}

TEST(SessionCommands, ASavedRunSimulatesAgainToTheSameProfiles) {
  CScratchFolder folder;
  const std::string session = folder / "run.tessaline";
  const CCliResult saved =
      RunCli({"simulate", TestFile("quartz.cif"), TestFile("corundum.cif"), "--anode", "Co",
              "--range", "10:100", "-o", folder / "first.xy", "--save-session", session});
  ASSERT_EQ(saved.status, kExitSuccess) << saved.err;

  // The session's settings (cobalt, 10 to 100 degrees) come back without the options.
  const CCliResult again =
      RunCli({"simulate", session, "-o", folder / "again.xy", "--reflexions", folder / "r.txt"});
  ASSERT_EQ(again.status, kExitSuccess) << again.err;
  for (const char* title : {"quartz", "corundum"})
    ExpectSameProfile(folder / (std::string("first-") + title + ".xy"),
                      folder / (std::string("again-") + title + ".xy"));

  // Its crystals list as the files do, block by block and row by row (the last digits and the
  // order of reflexions at one d may differ with the 32-bit values).
  const CCliResult fromFiles =
      RunCli({"reflexions", TestFile("quartz.cif"), TestFile("corundum.cif"), "--anode", "Co"});
  const CCliResult fromSession = RunCli({"reflexions", session});
  ASSERT_EQ(fromSession.status, kExitSuccess) << fromSession.err;
  EXPECT_EQ(std::ranges::count(fromSession.out, '\n'), std::ranges::count(fromFiles.out, '\n'));
  for (const char* title : {"\nquartz\n", "\ncorundum\n"})
    EXPECT_NE(fromSession.out.find(title), std::string::npos) << title;
}

TEST(SessionCommands, AnInputIsCalculatedAlikeBeforeOrAfterASession) {
  CScratchFolder folder;
  const std::string session = folder / "cobalt.tessaline";
  ASSERT_EQ(RunCli({"simulate", TestFile("quartz.cif"), "--anode", "Co", "--range", "10:100", "-o",
                    folder / "q.xy", "--save-session", session})
                .status,
            kExitSuccess);
  // Neutrons for the whole run, whatever the session was saved with.
  const std::vector<std::string> orders[] = {{session, TestFile("rutile.cif")},
                                             {TestFile("rutile.cif"), session}};
  for (const char* name : {"after", "before"}) {
    std::vector<std::string> arguments = {"simulate"};
    const auto& inputs = orders[std::string(name) == "after" ? 0 : 1];
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    arguments.insert(arguments.end(),
                     {"--radiation", "neutron", "--points", "3000", "-o", folder / name + ".xy"});
    const CCliResult result = RunCli(arguments);
    ASSERT_EQ(result.status, kExitSuccess) << result.err;
  }
  for (const char* title : {"-rutile.xy", "-quartz.xy"})
    EXPECT_EQ(ReadWholeFile(folder / ("after" + std::string(title))),
              ReadWholeFile(folder / ("before" + std::string(title))))
        << title;
}

TEST(SessionCommands, ListingsListEveryCrystalOfASessionShownOrNot) {
  CScratchFolder folder;
  const std::string session = folder / "half.tessaline";
  {
    CDocumentUi ui;
    CTessDoc document(ui);
    document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif")});
    document.UnplotPatterns({document.Patterns().back()});
    WriteSessionFile(session, document.Session());
  }
  ASSERT_NE(RunCli({"info", session}).out.find("  crystal      no                 corundum\n"),
            std::string::npos);
  // Calculated for the run's wavelength, not as the session last saw them.
  const CCliResult fromSession = RunCli({"reflexions", session, "--wavelength", "1.2"});
  const CCliResult fromFiles = RunCli(
      {"reflexions", TestFile("quartz.cif"), TestFile("corundum.cif"), "--wavelength", "1.2"});
  ASSERT_EQ(fromSession.status, kExitSuccess) << fromSession.err;
  EXPECT_EQ(std::ranges::count(fromSession.out, '\n'), std::ranges::count(fromFiles.out, '\n'));
  // Corundum's (0 1 2): d = 3.48 Å, 2θ = 2 asin(1.2 / 2d) = 19.8566°.
  EXPECT_NE(fromSession.out.find("\ncorundum\n"), std::string::npos);
  EXPECT_NE(fromSession.out.find("\n  0   1   2   3.4799"), std::string::npos) << fromSession.out;
  EXPECT_NE(fromSession.out.find("   19.8566 "), std::string::npos) << fromSession.out;
}

// A mixing run keeps its inputs as patterns beside the mixture, as the desktop keeps the rows it
// mixed: the session's listings find the crystals, and a read session links them again.
TEST(SessionCommands, AMixingRunSavesItsInputsAsPatternsAndTheMixtureOfThem) {
  CScratchFolder folder;
  const std::string session = folder / "mixed.tessaline";
  ASSERT_EQ(RunCli({"simulate", TestFile("quartz.cif"), TestFile("corundum.cif"), "--mix",
                    "0.7,0.3", "-o", folder / "mix.xy", "--save-session", session})
                .status,
            kExitSuccess);
  const CCliResult info = RunCli({"info", session});
  ASSERT_EQ(info.status, kExitSuccess) << info.err;
  EXPECT_NE(info.out.find("Patterns:        3\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("  mixture      yes                quartz + corundum\n"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("    crystal    yes      0.7000    quartz\n"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("    crystal    yes      0.3000    corundum\n"), std::string::npos)
      << info.out;
  {
    CDocumentUi ui;
    CTessDoc document(ui);
    document.AddFiles({session});
    const CPatternList& list = document.Patterns();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(*list[2]->Components(), CPatternList({list[0], list[1]}));
  }

  // Simulating the session writes the mixture's profile, the same as the mixing run's.
  ASSERT_EQ(RunCli({"simulate", session, "-o", folder / "again.xy"}).status, kExitSuccess);
  ExpectSameProfile(folder / "mix.xy", folder / "again-quartz + corundum.xy");
  // Sessions are not mixed again.
  EXPECT_EQ(RunCli({"simulate", session, "--mix", "equal"}).status, kExitUsage);

  for (const char* command : {"reflexions", "structure-factors"}) {
    const CCliResult listing = RunCli({command, session});
    ASSERT_EQ(listing.status, kExitSuccess) << listing.err;
    for (const char* title : {"\nquartz\n", "\ncorundum\n"})
      EXPECT_NE(listing.out.find(title), std::string::npos) << command << title;
  }
}

// Sessions saved before mixed inputs were kept as patterns hold those crystals only inside their
// mixture; they are listed all the same. A session without a crystal says so and fails rather
// than print an empty listing.
TEST(SessionCommands, ListingsFindCrystalsInsideAMixtureAndRefuseASessionWithoutOne) {
  CScratchFolder folder;
  const std::string inside = folder / "inside.tessaline";
  const std::string none = folder / "none.tessaline";
  {
    CDocumentUi ui;
    CTessDoc document(ui);
    document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif")});
    CSession session = document.Session();
    session.patterns = {document.CreateMixture(document.Patterns())};
    WriteSessionFile(inside, session);
    session.patterns.clear();
    WriteSessionFile(none, session);
  }
  const CCliResult fromFiles =
      RunCli({"reflexions", TestFile("quartz.cif"), TestFile("corundum.cif")});
  const CCliResult fromSession = RunCli({"reflexions", inside});
  ASSERT_EQ(fromSession.status, kExitSuccess) << fromSession.err;
  EXPECT_EQ(std::ranges::count(fromSession.out, '\n'), std::ranges::count(fromFiles.out, '\n'));
  for (const char* title : {"\nquartz\n", "\ncorundum\n"})
    EXPECT_NE(fromSession.out.find(title), std::string::npos) << title;

  const CCliResult empty = RunCli({"structure-factors", none});
  EXPECT_EQ(empty.status, kExitFailure);
  EXPECT_NE(empty.err.find("no crystal to list"), std::string::npos) << empty.err;
}

TEST(SessionCommands, PlotDrawsASessionAndSavesWhatItDrew) {
  CScratchFolder folder;
  const std::string first = folder / "first.tessaline", second = folder / "second.tessaline";
  ASSERT_EQ(
      RunCli({"simulate", TestFile("quartz.cif"), "-o", folder / "q.xy", "--save-session", first})
          .status,
      kExitSuccess);
  const CCliResult plot = RunCli(
      {"plot", first, TestFile("rutile.cif"), "-o", folder / "both.png", "--save-session", second});
  ASSERT_EQ(plot.status, kExitSuccess) << plot.err;
  EXPECT_TRUE(std::filesystem::exists(folder / "both.png"));
  const CCliResult info = RunCli({"info", second});
  EXPECT_NE(info.out.find("Patterns:        2\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("quartz\n"), std::string::npos);
  EXPECT_NE(info.out.find("rutile\n"), std::string::npos);
}

TEST(SessionCommands, ADamagedSessionIsRefusedNamingItAndNothingIsWritten) {
  CScratchFolder folder;
  const std::string session = folder / "run.tessaline";
  ASSERT_EQ(RunCli({"simulate", TestFile("silicon.cif"), "-o", folder / "si.xy", "--save-session",
                    session})
                .status,
            kExitSuccess);
  std::string bytes = ReadWholeFile(session);
  bytes[bytes.size() / 2] ^= 0x20;
  const std::string damaged = folder / "damaged.tessaline";
  std::ofstream(damaged, std::ios::binary) << bytes;

  for (const std::string command : {"simulate", "info", "reflexions"}) {
    std::vector<std::string> arguments = {command, damaged};
    if (command != "info") arguments.insert(arguments.end(), {"-o", folder / "out.txt"});
    const CCliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, kExitFailure) << command;
    EXPECT_NE(result.err.find("damaged.tessaline: "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("corrupted"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "out.txt")) << command;
  }
}

}  // namespace
