#include "files/whole_file.h"

#include "errors/exceptions.h"
#include "files/stdio_file.h"

void WriteWholeFile(const std::string& path, std::string_view contents) {
  CVHStdioFile<CFile> file;
  CFileError error;
  if (!file.Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeBinary, &error))
    throw CVHXFileNotOpen(kSeverityMessage, error.code);
  file.WriteString(contents);
  file.Close();
}
