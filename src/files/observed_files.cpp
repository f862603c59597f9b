#include "files/observed_files.h"

#include <filesystem>

#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/dataset_file.h"
#include "files/profile_file.h"
#include "files/rigaku_file.h"
#include "patterns/observed_pattern.h"

bool IsObservedDataType(unsigned typeId) {
  return typeId == CTSDatasetFile::kTypeId || typeId == CTSProfileFile::kTypeId || typeId == CTSRigakuFile::kTypeId;
}

CObservedFile ReadObservedFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw CVHXFileNotFound();
  CObservedFile result;
  result.type = CTessFile::DetermineType(path);
  const std::unique_ptr<CTessFile> file = CTessFile::Create(result.type);
  if (!file) throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, path);
  CFileError openError;
  if (!file->Open(path, CFile::kModeRead, &openError)) throw CVHXFileNotOpen(kSeverityMessage, openError.code);
  file->ReadObservedData(result.data);
  file->Close();
  result.title = FileTitle(path);
  return result;
}

std::shared_ptr<CTSObservedPattern> ReadObservedPattern(const std::string& path) {
  CObservedFile file = ReadObservedFile(path);
  auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
  pattern->SetPath(path);
  pattern->SetTitle(std::move(file.title));
  pattern->SetData(std::move(file.data.points), std::move(file.data.errors));
  return pattern;
}
