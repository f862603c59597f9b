// Making a pattern for a file on disk: the file's type, found from its content, chooses the kind
// of pattern registered for it.
#pragma once

#include <memory>
#include <string>

#include "patterns/pattern.h"

// A new, unread pattern for a file, with path and title (the file name without folder and
// extension) set. Empty when the file does not exist or no kind of pattern takes its type; the
// latter is written to the error stream as a diagnostic line.
std::shared_ptr<CTSPattern> NewPatternFromFilePath(const std::string& path);
