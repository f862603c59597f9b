#include "files/crystal_files.h"

#include <cctype>
#include <filesystem>
#include <memory>

#include "errors/exceptions.h"
#include "files/cif_file.h"
#include "files/tess_file.h"
#include "files/vhtx_file.h"

std::string FileTitle(const std::string& path) { return std::filesystem::path(path).stem().string(); }

CCrystalFile ReadCrystalFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw CVHXFileNotFound();
  CCrystalFile result;
  result.type = CTessFile::DetermineType(path);
  if (CTessFile::IsMoleculeType(result.type)) throw CVHXFileNoMoleculeDiffract();
  const std::unique_ptr<CTessFile> file = CTessFile::Create(result.type);
  if (!file) throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, path);
  CFileError openError;
  if (!file->Open(path, CFile::kModeRead, &openError)) throw CVHXFileNotOpen(kSeverityMessage, openError.code);
  file->ReadCrystal(result.crystal);
  file->Close();
  result.title = FileTitle(path);
  return result;
}

void WriteCrystalFile(const std::string& path, const CTSCrystal& crystal, std::string_view title) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::unique_ptr<CTessFile> file;
  if (extension == ".cif") {
    file = std::make_unique<CTSCIFFile>();
  } else if (extension == ".vhtx") {
    file = std::make_unique<CTSVHTXFile>();
  } else {
    throw CVHXFileSaveAsBadExt();
  }
  CFileError openError;
  if (!file->Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeText, &openError))
    throw CVHXFileNotOpen(kSeverityMessage, openError.code);
  file->WriteCrystal(crystal, title);
  file->Close();
}
