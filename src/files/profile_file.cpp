#include "files/profile_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "app/status.h"
#include "errors/exceptions.h"
#include "files/listing_header.h"
#include "files/number_text.h"
#include "files/observed_files.h"
#include "patterns/pattern.h"
#include "patterns/plot_spec.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSProfileFile::kTypeId}, &CTSProfileFile::Recognise,
                                       &CTessFile::Make<CTSProfileFile>);

constexpr size_t kFewestPoints = 5;
// How far the probe looks for the heading, and how many lines after it it checks.
constexpr size_t kHeadingLines = 100;
constexpr size_t kCheckedLines = 20;
const std::string kSeparator(88, '*');

// Two numbers at the start of the line; what follows is not looked at.
std::optional<CProfilePoint> PointOf(const std::string& line) {
  const char* text = line.c_str();
  return ScanPoint(text);
}

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

bool ContainsIntensity(std::string line) {
  for (char& c : line)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return line.find("intensity") != std::string::npos;
}

constexpr int kFewestDecimals = 4;
constexpr int kMostDecimals = 12;

// Appends "%.*f\t%10.4e\n"; std::to_chars formats exactly as printf does, many times faster,
// and never with the decimal comma of a locale.
void AppendPoint(std::string& text, double x, double y, int decimals) {
  std::array<char, 1100> buffer;  // room for the longest fixed double
  char* end = WriteFixed(buffer.data(), x, decimals);
  text.append(buffer.data(), end);
  text += '\t';
  end = WriteScientific(buffer.data(), y, 4);
  const size_t length = static_cast<size_t>(end - buffer.data());
  if (length < 10) text.append(10 - length, ' ');
  text.append(buffer.data(), end);
  text += '\n';
}

}  // namespace

int ProfileXDecimals(const CProfile& profile) {
  double step = HUGE_VAL;
  for (size_t i = 1; i < profile.size(); ++i)
    if (profile[i].x != profile[i - 1].x)
      step = std::min(step, std::abs(profile[i].x - profile[i - 1].x));
  if (!std::isfinite(step)) return kFewestDecimals;
  return std::clamp(static_cast<int>(std::ceil(-std::log10(step))) + 1, kFewestDecimals,
                    kMostDecimals);
}

unsigned CTSProfileFile::Recognise(const std::string& path) {
  CTSProfileFile file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  std::string line;
  bool heading = false;
  for (size_t count = 0; !heading && count < kHeadingLines && file.ReadLine(line); ++count)
    heading = ContainsIntensity(line);
  if (!heading) return 0;
  size_t points = 0;
  for (size_t count = 0; count < kCheckedLines && file.ReadLine(line); ++count) {
    if (IsBlank(line)) continue;
    if (!PointOf(line)) return 0;
    ++points;
  }
  return points > 0 ? kTypeId : 0;
}

std::string CTSProfileFile::ProfileText(const CTSPattern& pattern, const CPlotSpec& plotSpec) {
  return ProfileText(pattern, pattern.ProfilePoints(false), plotSpec);
}

std::string CTSProfileFile::ProfileText(const CTSPattern& pattern, const CProfile& profile, const CPlotSpec& plotSpec) {
  if (profile.size() < kFewestPoints) throw CVHXFileProfileTooFewPoints();
  std::string text = ListingHeader(pattern.Title());
  text.reserve(text.size() + profile.size() * 24);
  const int decimals = ProfileXDecimals(profile);
  for (const CProfilePoint& point : profile)
    if (point.x >= plotSpec.XMin() && point.x <= plotSpec.XMax())
      AppendPoint(text, point.x, pattern.PlottedPoint(point).y, decimals);
  return text;
}

void CTSProfileFile::WriteProfile(const CTSPattern& pattern, const CPlotSpec& plotSpec) {
  WriteProfile(pattern, pattern.ProfilePoints(false), plotSpec);
}

void CTSProfileFile::WriteProfile(const CTSPattern& pattern, const CProfile& profile, const CPlotSpec& plotSpec) {
  CStatus status("Writing profile file...");
  WriteString(ProfileText(pattern, profile, plotSpec));
}

CProfile CTSProfileFile::ReadPoints() {
  CStatus status("Reading from Profile file...");
  CProfile points;
  std::string line;
  bool inHeader = false;
  while (ReadLine(line)) {
    // The banner of our own files may hold numbers (a title such as "Phase 2 3"); pass it over.
    if (line == kSeparator) {
      inHeader = !inHeader;
      continue;
    }
    if (inHeader) continue;
    if (const std::optional<CProfilePoint> point = PointOf(line)) points.push_back(*point);
  }
  if (points.empty()) throw CVHXFileNoData();
  return points;
}

void CTSProfileFile::ReadObservedData(CObservedData& data) { data = {ReadPoints(), {}}; }
