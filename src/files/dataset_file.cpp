#include "files/dataset_file.h"

#include <array>

#include "app/status.h"
#include "errors/exceptions.h"
#include "files/number_text.h"
#include "files/observed_files.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSDatasetFile::kTypeId}, &CTSDatasetFile::Recognise,
                                       &CTessFile::Make<CTSDatasetFile>);

// Room for the numbers and a comment after them; the rest of a longer line is passed over.
constexpr size_t kLineSize = 1024;

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
  while (ReadLine(line.data(), line.size()) >= 0) {
    const char* text = line.data();
    const std::optional<CProfilePoint> point = ScanPoint(text);
    if (!point) continue;
    read.points.push_back(*point);
    double error = 0.0;
    everyError = everyError && ScanNumber(text, error);
    if (everyError) read.errors.push_back(error);
  }
  if (read.points.empty()) throw CVHXFileNoData();
  if (!everyError) read.errors.clear();
  data = std::move(read);
}
