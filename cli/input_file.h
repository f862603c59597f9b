// Work on one input file of a command: while it runs, every alert and warning line the work
// causes names the file ("scan.xy: Tessaline : [...]"), so that a run over many files says
// which one failed.
#pragma once

#include <functional>
#include <string>

// Runs `work`; a failure is reported as its alert, naming the file, and the command goes on with
// its next file. Returns whether the work succeeded.
bool WithInputFile(const std::string& path, const std::function<void()>& work);

// "PATH: " while WithInputFile runs, "PATH:LINE: " for a line of it other than 0, else nothing.
std::string InputFilePrefix(size_t line = 0);
