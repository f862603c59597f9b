#include "files/text_file.h"

#include "errors/exceptions.h"
#include "files/stdio_file.h"

void WriteTextFile(const std::string& path, std::string_view text) {
  CVHStdioFile<CFile> file;
  CFileError error;
  if (!file.Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeText, &error))
    throw CVHXFileNotOpen(kSeverityMessage, error.code);
  file.WriteString(text);
  file.Close();
}
