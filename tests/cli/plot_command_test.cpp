// tessaline-cli plot: pictures of crystal, mixed and observed patterns in the three formats,
// and the usage errors that stop it before any work.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "cli/child_process.h"
#include "cli/run_cli.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

std::string Example(const char* name) {
  return std::string(TESSALINE_SOURCE_DIR "/examples/") + name;
}

std::string Quartz() {
  return Example("quartz.cif");
}

TEST(PlotCommand, QuartzToPngAtTheDefaultSize) {
  CScratchFolder folder;
  const CCliResult result =
      RunCli({"plot", Quartz(), "-o", folder / "quartz.png", "--labels", "5", "--ticks"});
  ASSERT_EQ(result.status, kExitSuccess) << result.err;
  EXPECT_EQ(result.err, "");
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(folder / "quartz.png")));
  EXPECT_EQ(image.size(), QSize(1600, 1000));
  // Smaller and larger pictures on request.
  ASSERT_EQ(
      RunCli({"plot", Quartz(), "-o", folder / "small.png", "--size", "400x300", "--dpi", "96"})
          .status,
      kExitSuccess);
  ASSERT_TRUE(image.load(QString::fromStdString(folder / "small.png")));
  EXPECT_EQ(image.size(), QSize(400, 300));
}

// The program hands plot to its fuller sibling with every word of the line, the switches that
// may stand before the command included.
TEST(PlotCommand, TheProgramHandsTheWholeLineOver) {
  CScratchFolder folder;
  const pid_t pid = SpawnChild({TESSALINE_CLI, "--quiet", "plot", Quartz(), "-o",
                                folder / "handed.png", "--size", "300x200"},
                               {}, folder / "log.txt");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForChild(pid, std::chrono::seconds(120)), kExitSuccess);
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(folder / "handed.png")));
  EXPECT_EQ(image.size(), QSize(300, 200));
}

TEST(PlotCommand, MixtureAndObservedDataInEveryFormat) {
  CScratchFolder folder;
  const std::string corundum = TestDataPath("corundum.cif").string();
  for (const char* extension : {".png", ".svg", ".pdf"}) {
    const std::string mixture = folder / (std::string("mixture") + extension);
    const CCliResult mixed =
        RunCli({"plot", Quartz(), corundum, "--mix", "0.7,0.3", "-o", mixture, "--range", "10:80"});
    EXPECT_EQ(mixed.status, kExitSuccess) << mixed.err;
    const std::string compared = folder / (std::string("compared") + extension);
    const CCliResult difference = RunCli(
        {"plot", Example("quartz-scan.xy"), Quartz(), "--difference", "--ticks", "-o", compared});
    EXPECT_EQ(difference.status, kExitSuccess) << difference.err;
    for (const std::string& path : {mixture, compared}) {
      const std::string bytes = ReadWholeFile(path);
      ASSERT_GT(bytes.size(), 1000u) << path;
      const std::string signature = std::string(extension) == ".png"   ? "\x89PNG"
                                    : std::string(extension) == ".svg" ? "<?xml"
                                                                       : "%PDF-";
      EXPECT_EQ(bytes.rfind(signature, 0), 0u) << path;
    }
  }
  // The legend of the mixture names each phase with its fraction.
  const std::string svg = ReadWholeFile(folder / "mixture.svg");
  EXPECT_NE(svg.find("0.70  quartz"), std::string::npos);
  EXPECT_NE(svg.find("0.30  corundum"), std::string::npos);
}

TEST(PlotCommand, UsageErrorsNameTheOption) {
  CScratchFolder folder;
  const std::string png = folder / "plot.png";
  const struct {
    std::vector<std::string> arguments;
    const char* named;
  } cases[] = {
      {{"plot", Quartz()}, "-o"},
      {{"plot", Quartz(), "-o", folder / "plot.jpg"}, "-o"},
      {{"plot", Quartz(), "-o", png, "--size", "0x100"}, "--size"},
      {{"plot", Quartz(), "-o", png, "--size", "20001x100"}, "--size"},
      {{"plot", Quartz(), "-o", png, "--size", "800"}, "--size"},
      {{"plot", Quartz(), "-o", png, "--xrange", "30:30"}, "--xrange"},
      {{"plot", Quartz(), "-o", png, "--dpi", "0"}, "--dpi"},
      {{"plot", Quartz(), "-o", png, "--gamma", "2"}, "--gamma"},
      {{"plot", Quartz(), "-o", png, "--film", "--stack"}, "--stack"},
      {{"plot", Quartz(), "-o", png, "--log", "--difference"}, "--difference"},
      {{"plot", Quartz(), "-o", png, "--difference"}, "--difference"},
      {{"plot", Quartz(), "-o", png, "--legend", "--no-legend"}, "--legend"},
  };
  for (const auto& c : cases) {
    const CCliResult result = RunCli(c.arguments);
    EXPECT_EQ(result.status, kExitUsage) << c.named;
    EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(png));  // refused before any work
}

TEST(PlotCommand, NothingToPlotGivesTheEmptyFrame) {
  CScratchFolder folder;
  // No reflexion of quartz lies below 1 degree.
  const CCliResult result =
      RunCli({"plot", Quartz(), "-o", folder / "empty.png", "--range", "0.1:0.9"});
  EXPECT_EQ(result.status, kExitFailure);
  EXPECT_NE(result.err.find("Nothing to plot"), std::string::npos) << result.err;
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(folder / "empty.png")));
  // A failed input is named and the others are still drawn.
  const CCliResult partly = RunCli({"plot", "/no/such.cif", Quartz(), "-o", folder / "partly.png"});
  EXPECT_EQ(partly.status, kExitFailure);
  EXPECT_NE(partly.err.find("/no/such.cif"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(folder / "partly.png"));
}

// Whether `channel` (0 red, 1 green, 2 blue) clearly dominates the pixel.
bool OfHue(const QImage& image, int x, int y, int channel) {
  const QColor pixel = image.pixelColor(x, y);
  const int values[3] = {pixel.red(), pixel.green(), pixel.blue()};
  const int other = std::max(values[(channel + 1) % 3], values[(channel + 2) % 3]);
  return values[channel] > 120 && values[channel] - other > 50;
}

// The pixels of a row in the hue.
int HueInRow(const QImage& image, int y, int channel) {
  int count = 0;
  for (int x = 0; x < image.width(); ++x) count += OfHue(image, x, y, channel);
  return count;
}

TEST(PlotCommand, StackedCurvesKeepTheirReflexionRows) {
  CScratchFolder folder;
  const CCliResult result =
      RunCli({"plot", Quartz(), TestDataPath("corundum.cif").string(), "--stack", "--ticks",
              "--no-legend", "-o", folder / "stacked.png", "--size", "800x500"});
  ASSERT_EQ(result.status, kExitSuccess) << result.err;
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(folder / "stacked.png")));
  // The lowest curve, corundum's (red), has its baseline in the row fullest of red; each phase's
  // row of ticks (blue quartz, red corundum) lies under it.
  int baseline = 0;
  for (int y = 0; y < image.height(); ++y)
    if (HueInRow(image, y, 0) > HueInRow(image, baseline, 0)) baseline = y;
  ASSERT_GT(HueInRow(image, baseline, 0), image.width() / 2);
  for (int channel : {0, 2}) {
    int below = 0;
    for (int y = baseline + 3; y < image.height(); ++y) below += HueInRow(image, y, channel);
    EXPECT_GT(below, 20) << channel;
  }
}

}  // namespace
