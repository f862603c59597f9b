#include "files/dataset_file.h"

#include <array>
#include <string_view>

#include "app/status.h"
#include "app/status_log.h"
#include "errors/exceptions.h"
#include "files/number_text.h"
#include "files/observed_files.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSDatasetFile::kTypeId}, &CTSDatasetFile::Recognise,
                                       &CTessFile::Make<CTSDatasetFile>);

// Room for the numbers and a comment after them; the rest of a longer line is passed over.
constexpr size_t kLineSize = 1024;
// Lines that are not data named one by one; the rest are counted.
constexpr int kNamedLinesNotData = 5;

bool IsCommentOrBlank(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return true;
  return line[first] == '#' || line[first] == '!' || line[first] == ';' ||
         line.substr(first, 2) == "//";
}

}  // namespace

unsigned CTSDatasetFile::Recognise(const std::string& path) {
  CTSDatasetFile file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  std::array<char, kLineSize> line;
  while (file.ReadLine(line.data(), line.size()) >= 0) {
    const char* text = line.data();
    if (ScanPoint(text)) return kTypeId;
  }
  return 0;
}

void CTSDatasetFile::ReadObservedData(CObservedData& data) {
  CStatus status("Reading data from file...");
  CObservedData read;
  bool everyError = true;
  std::array<char, kLineSize> line;
  int lineNumber = 0, notData = 0;
  while (ReadLine(line.data(), line.size()) >= 0) {
    ++lineNumber;
    const char* text = line.data();
    const std::optional<CProfilePoint> point = ScanPoint(text);
    if (!point) {
      // Comments and blank lines are meant to be passed over; anything else may be data the
      // user expects to see, so it is named.
      if (!IsCommentOrBlank(line.data()) && ++notData <= kNamedLinesNotData)
        LogStatus(Formatted("Warning: Line %d is not data and is passed over: '%s'.", lineNumber,
                            line.data()));
      continue;
    }
    read.points.push_back(*point);
    double error = 0.0;
    everyError = everyError && ScanNumber(text, error);
    if (everyError) read.errors.push_back(error);
  }
  if (notData > kNamedLinesNotData)
    LogStatus(Formatted("Warning: %d more lines that are not data are passed over.",
                        notData - kNamedLinesNotData));
  if (read.points.empty()) throw CVHXFileNoData();
  if (!everyError) read.errors.clear();
  data = std::move(read);
}
