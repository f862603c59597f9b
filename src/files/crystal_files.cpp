#include "files/crystal_files.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <memory>

#include "errors/exceptions.h"
#include "files/cif_file.h"
#include "files/tess_file.h"
#include "files/vhtx_file.h"

std::string FileTitle(const std::string& path) { return std::filesystem::path(path).stem().string(); }

namespace {

// The file object for reading the crystal file at `path`, open, with its type.
std::unique_ptr<CTessFile> OpenCrystalFile(const std::string& path, unsigned& type) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw CVHXFileNotOpen(kSeverityMessage, EISDIR);
  if (!std::filesystem::exists(path, error)) throw CVHXFileNotFound();
  type = CTessFile::DetermineType(path);
  if (CTessFile::IsMoleculeType(type)) throw CVHXFileNoMoleculeDiffract();
  std::unique_ptr<CTessFile> file = CTessFile::Create(type);
  if (!file) throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, path);
  CFileError openError;
  if (!file->Open(path, CFile::kModeRead, &openError)) throw CVHXFileNotOpen(kSeverityMessage, openError.code);
  return file;
}

}  // namespace

CCrystalFile ReadCrystalFile(const std::string& path) {
  CCrystalFile result;
  const std::unique_ptr<CTessFile> file = OpenCrystalFile(path, result.type);
  file->ReadCrystal(result.crystal);
  file->Close();
  result.title = FileTitle(path);
  return result;
}

std::vector<CCrystalFile> ReadCrystalFiles(const std::string& path) {
  unsigned type = 0;
  const std::unique_ptr<CTessFile> file = OpenCrystalFile(path, type);
  std::vector<CNamedCrystal> crystals = file->ReadCrystals();
  file->Close();
  std::vector<CCrystalFile> results;
  for (CNamedCrystal& named : crystals)
    results.push_back(
        {std::move(named.crystal), type, crystals.size() > 1 ? named.name : FileTitle(path)});
  return results;
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
