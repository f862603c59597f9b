#include "files/pattern_file.h"

#include <cstdio>
#include <filesystem>

#include "files/crystal_files.h"
#include "files/tess_file.h"

std::shared_ptr<CTSPattern> NewPatternFromFilePath(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return nullptr;
  const unsigned type = CTessFile::DetermineType(path, true);
  std::shared_ptr<CTSPattern> pattern = CTSPattern::NewPatternOfFileType(type);
  if (!pattern) {
    std::fprintf(stderr,
                 "NewPatternFromFilePath() : File '%s' has unsupported file type: 0x%08x.\n",
                 path.c_str(), type);
    return nullptr;
  }
  pattern->SetPath(path);
  pattern->SetTitle(FileTitle(path));
  return pattern;
}
