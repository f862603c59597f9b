// In tessaline-cli, plot and batch run in tessaline-cli-full, which links the libraries they
// need: Qt's GUI and SVG modules for pictures, HDF5 and MPI for batch runs. Loading those for
// every command would double its start. The command line is handed over whole and in the same
// process (exec), so that a shell, a job scheduler or an MPI launcher sees one program.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

constexpr const char* kFullProgram = "tessaline-cli-full";

// Beside this program in a build, in the library folder of an installation.
std::filesystem::path FullProgram() {
  std::error_code error;
  const std::filesystem::path folder =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
  const std::filesystem::path installed =
      (folder / TESSALINE_FULL_CLI_FROM_BIN / kFullProgram).lexically_normal();
  return ::access(installed.c_str(), X_OK) == 0 ? installed : folder / kFullProgram;
}

// The words this process was started with: the switches that stand anywhere on the line are
// taken out before a command runs, and the program handed to must see them too.
std::vector<std::string> StartingWords() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::vector<std::string> words;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\0', start), text.size());
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

int HandOver(const char* command, std::ostream& out, std::ostream& err) {
  const std::filesystem::path program = FullProgram();
  std::vector<std::string> words = StartingWords();
  if (words.empty()) words.emplace_back();
  words.front() = program.string();
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  out.flush();
  err.flush();
  std::fflush(nullptr);
  ::execv(program.c_str(), argv.data());
  err << "tessaline-cli: " << command << " runs in " << program.string()
      << ", which could not be started (" << std::strerror(errno) << ")\n";
  return kExitFailure;
}

}  // namespace

int RunPlotCommand(std::span<const std::string>, std::ostream& out, std::ostream& err) {
  return HandOver("plot", out, err);
}

int RunBatchCommand(std::span<const std::string>, std::ostream& out, std::ostream& err) {
  return HandOver("batch", out, err);
}
