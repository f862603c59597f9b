// The README's examples run as written: every command line of it, against a copy of the
// examples folder, with the program this build made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

constexpr std::string_view kProgram = "build/release/cli/tessaline-cli";

// The README's command lines, continuation lines joined.
std::vector<std::string> ReadmeCommands() {
  std::istringstream readme(
      ReadWholeFile(std::filesystem::path(TESSALINE_SOURCE_DIR) / "README.md"));
  std::vector<std::string> commands;
  bool continued = false;
  for (std::string line; std::getline(readme, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    std::string text = line.substr(start);
    if (!continued && !text.starts_with(kProgram)) continue;
    const bool continues = text.ends_with("\\");
    if (continues) text.pop_back();
    if (continued)
      commands.back() += " " + text;
    else
      commands.push_back(text);
    continued = continues;
  }
  return commands;
}

TEST(ReadmeExamples, RunAsWritten) {
  const std::vector<std::string> commands = ReadmeCommands();
  ASSERT_GE(commands.size(), 10u);
  CScratchFolder folder;
  std::filesystem::copy(std::filesystem::path(TESSALINE_SOURCE_DIR) / "examples",
                        folder.Path() / "examples");
  for (std::string command : commands) {
    SCOPED_TRACE(command);
    command.replace(0, kProgram.size(), std::string("'") + TESSALINE_CLI + "'");
    const std::string line =
        "cd '" + folder.Path().string() + "' && " + command + " > /dev/null 2> errors.txt";
    const int status = std::system(line.c_str());
    EXPECT_EQ(status, 0) << ReadWholeFile(folder.Path() / "errors.txt");
  }
}

}  // namespace
