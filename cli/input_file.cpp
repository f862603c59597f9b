#include "cli/input_file.h"

#include <exception>

#include "errors/exceptions.h"

namespace {

// The command line runs one command on one thread; the file in work is plain state.
const std::string* currentFile = nullptr;

}  // namespace

bool WithInputFile(const std::string& path, const std::function<void()>& work) {
  const std::string* const previous = currentFile;
  currentFile = &path;
  bool succeeded = true;
  try {
    work();
  } catch (...) {
    ConvertException(std::current_exception(), kSeverityMessage)->Report();
    succeeded = false;
  }
  currentFile = previous;
  return succeeded;
}

std::string InputFilePrefix(size_t line) {
  if (!currentFile) return {};
  return line > 0 ? *currentFile + ":" + std::to_string(line) + ": " : *currentFile + ": ";
}
