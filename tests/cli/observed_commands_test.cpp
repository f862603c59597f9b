#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "cli/run_cli.h"
#include "files/temp_file.h"

namespace {

// A peak on a flat background of 5 at x from 10 to 29.9 in steps of 0.1.
std::string PeakData() {
  std::ostringstream text;
  text << "# 2theta intensity error\n";
  for (int i = 0; i < 200; ++i) {
    const double x = 10.0 + 0.1 * i;
    const double y = 5.0 + 100.0 * std::exp(-(x - 20.0) * (x - 20.0));
    text << x << " " << y << " " << std::sqrt(y) << "\n";
  }
  return text.str();
}

// The points of a profile text after its header.
std::vector<std::pair<double, double>> ProfilePoints(const std::string& text) {
  std::vector<std::pair<double, double>> points;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    double x = 0.0, y = 0.0;
    if (std::sscanf(line.c_str(), "%lf\t%lf", &x, &y) == 2) points.emplace_back(x, y);
  }
  return points;
}

// The intensity at grid point x.
double At(const std::vector<std::pair<double, double>>& points, double x) {
  const auto found = std::find_if(points.begin(), points.end(),
                                  [x](const auto& p) { return std::abs(p.first - x) < 1e-6; });
  EXPECT_NE(found, points.end()) << x;
  return found == points.end() ? NAN : found->second;
}

TEST(SimulateObserved, ResampledOntoTheGridWithTheBackgroundRemoved) {
  CTempFile xye(".xye", PeakData());
  const CCliResult plain = RunCli({"simulate", xye.Path(), "-o", "-", "--range", "0:40", "--points", "400"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const auto raw = ProfilePoints(plain.out);
  // Only the grid points where there are data, from 10 to 29.9: none beyond reads as zeros.
  ASSERT_GE(raw.size(), 197u);
  ASSERT_LE(raw.size(), 200u);
  EXPECT_GE(raw.front().first, 10.0 - 1e-9);
  EXPECT_LE(raw.back().first, 29.9 + 1e-9);
  for (const auto& point : raw) EXPECT_GT(point.second, 4.9);
  EXPECT_NEAR(At(raw, 15.0), 5.0, 1e-4);
  EXPECT_NEAR(At(raw, 20.0), 105.0, 1e-2);

  const CCliResult processed = RunCli({"simulate", xye.Path(), "-o", "-", "--range", "0:40", "--points", "400",
                                       "--smooth", "2", "--background", "auto"});
  ASSERT_EQ(processed.status, 0) << processed.err;
  const auto subtracted = ProfilePoints(processed.out);
  ASSERT_EQ(subtracted.size(), raw.size());
  EXPECT_NEAR(At(subtracted, 15.0), 0.0, 1e-4);
  EXPECT_GT(At(subtracted, 20.0), 80.0);  // the peak, smoothed
  EXPECT_LT(At(subtracted, 20.0), 100.0);
  EXPECT_NEAR(subtracted.front().second, 0.0, 1e-4);  // the smoothed ends keep their values

  // Control points given by hand, and x doubled: the peak moves to 40.
  const CCliResult scaled = RunCli({"simulate", xye.Path(), "-o", "-", "--range", "0:80", "--points", "800",
                                    "--scale-x", "2", "--background", "20:5,40:5,60:5"});
  ASSERT_EQ(scaled.status, 0) << scaled.err;
  const auto moved = ProfilePoints(scaled.out);
  EXPECT_NEAR(At(moved, 40.0), 100.0, 1e-2);
  EXPECT_NEAR(At(moved, 30.0), 0.0, 1e-4);
}

TEST(SimulateObserved, UnreadableFilesReportedAfterTheOthers) {
  CTempFile good(".xy", PeakData());
  CTempFile header(".dat", "angle counts\n");
  CTempFile rigaku(".asc", "*START 10\n*STOP 20\n*COUNT 21\n1 2 3\n");
  const CCliResult result = RunCli({"simulate", header.Path(), rigaku.Path(), good.Path(), "-o", "-", "--range",
                                    "0:40", "--points", "100", "--smooth", "70", "--background", "auto"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("No data in file."), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Invalid dataset specification."), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("not smoothed: a radius of 70 needs at least 210 points, the data have 200"),
            std::string::npos);
  const auto points = ProfilePoints(result.out);
  ASSERT_GE(points.size(), 49u);
  EXPECT_NEAR(At(points, 20.0), 100.0, 1e-2);  // unsmoothed, with the background off
}

TEST(SimulateObserved, RefusesBadOptions) {
  CTempFile xy(".xy", PeakData());
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--smooth", "0"},
                                                  {"--smooth", "1001"},
                                                  {"--smooth", "2.5"},
                                                  {"--scale-x", "0"},
                                                  {"--scale-x", "-2"},
                                                  {"--scale-x", "nan"},
                                                  {"--background", "flat"},
                                                  {"--background", "10:5"},
                                                  {"--background", "20:5,10:5"},
                                                  {"--background", "10:5,20"},
                                                  {"--background", "10:5,20:5,"}}) {
    std::vector<std::string> arguments = {"simulate", xy.Path()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const CCliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, 2) << options[0] << " " << options[1];
    EXPECT_EQ(result.err.find("tessaline-cli simulate: "), 0u) << result.err;
    EXPECT_NE(result.err.find(options[0]), std::string::npos) << result.err;
  }
}

TEST(InfoObserved, TypePointsAndRanges) {
  CTempFile xye(".xye", "10 4 2\n10.5 9 3\n11 1 1\n");
  CTempFile rigaku(".rint", "*START 10\n*STOP 11\n*STEP 0.5\n*COUNT 3\n7, 8, 9\n*END\n");
  const CCliResult result = RunCli({"info", xye.Path(), rigaku.Path()});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("Type:            Observed Data File (*.dat;*.txt;*.text) (12)\n"), std::string::npos);
  EXPECT_NE(result.out.find("Points:          3\nX range:         10.0000 to 11.0000\nY range:         1 to 9\n"
                            "Errors:          3 (third column)\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Type:            Rigaku-Scintag Diffractometer Data File (*.rint;*.asc) (34)\n"),
            std::string::npos);
  EXPECT_NE(result.out.find("Y range:         7 to 9\n"), std::string::npos);
}

}  // namespace
