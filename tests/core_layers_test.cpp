// The core's folders form layers: a source file includes from its own folder and from folders
// below it, never above. With a strict order there can be no cycle between folders, so a lower
// layer builds, tests and reads without anything above it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace {

// Lowest first; the README's layout section lists the same order.
const std::vector<std::string> kCoreLayers = {
    "resources",    // generated tables and the string table
    "errors",       // the exception tree and alerts
    "instances",    // named messages and running copies of the application
    "app",          // progress status, cancellation, preference values and their store
    "crystal",      // the crystal model and its symmetry
    "radiation",    // the radiation and instrument record
    "diffraction",  // reflexions, scattering and structure factors
    "patterns",     // the plot specification, profiles and pattern classes
    "files",        // every file format
    "preferences",  // the application's preferences and the model made from them
    "plot",         // drawing the plot on an abstract canvas
    "document",     // the session, its operations and the lists' view models
};

bool IsSourceFile(const std::filesystem::path& path) {
  return path.extension() == ".h" || path.extension() == ".cpp";
}

// Every breach under `root` (a copy of src/), one line each: an include of a folder above the
// including file's own, an include of a folder the order does not name, or a folder of `root`
// the order does not name.
std::vector<std::string> LayeringBreaches(const std::filesystem::path& root,
                                          const std::vector<std::string>& layers) {
  static const std::regex kFolderInclude(R"(^\s*#\s*include\s+"([A-Za-z0-9_]+)/)");
  const auto levelOf = [&layers](const std::string& folder) {
    return std::ranges::find(layers, folder) - layers.begin();
  };
  const auto unlisted = static_cast<std::ptrdiff_t>(layers.size());

  std::vector<std::string> breaches;
  for (const auto& folder : std::filesystem::directory_iterator(root)) {
    if (!folder.is_directory()) continue;
    const std::string name = folder.path().filename().string();
    const auto level = levelOf(name);
    if (level == unlisted) {
      breaches.push_back("src/" + name + " has no place in the layer order");
      continue;
    }
    for (const auto& file : std::filesystem::recursive_directory_iterator(folder.path())) {
      if (!file.is_regular_file() || !IsSourceFile(file.path())) continue;
      const std::string where =
          "src/" + std::filesystem::relative(file.path(), root).generic_string();
      std::ifstream in(file.path());
      std::smatch match;
      for (std::string line; std::getline(in, line);) {
        if (!std::regex_search(line, match, kFolderInclude)) continue;
        const std::string included = match[1];
        const auto includedLevel = levelOf(included);
        if (includedLevel == unlisted)
          breaches.push_back(where + " includes " + included +
                             "/, which has no place in the layer order");
        else if (includedLevel > level)
          breaches.push_back(where + " includes " + included + "/, a layer above " + name + "/");
      }
    }
  }
  std::ranges::sort(breaches);
  return breaches;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST(CoreLayers, EveryIncludePointsDown) {
  EXPECT_EQ(LayeringBreaches(std::filesystem::path(TESSALINE_SOURCE_DIR) / "src", kCoreLayers),
            std::vector<std::string>{});
}

TEST(CoreLayers, UpwardAndUnplacedIncludesAreReported) {
  const CScratchFolder src;
  WriteFile(src.Path() / "low/ok.h", "#include \"low/other.h\"\n#include <vector>\n");
  WriteFile(src.Path() / "high/ok.cpp", "#include \"low/ok.h\"\n#include \"high/ok.h\"\n");
  WriteFile(src.Path() / "low/deep/up.cpp", "  #  include \"high/thing.h\"\n");
  WriteFile(src.Path() / "low/odd.h", "#include \"nowhere/thing.h\"\n");
  WriteFile(src.Path() / "stray/file.h", "");
  WriteFile(src.Path() / "low/notes.txt", "#include \"high/thing.h\"\n");

  EXPECT_EQ(LayeringBreaches(src.Path(), {"low", "high"}),
            (std::vector<std::string>{
                "src/low/deep/up.cpp includes high/, a layer above low/",
                "src/low/odd.h includes nowhere/, which has no place in the layer order",
                "src/stray has no place in the layer order"}));
}

}  // namespace
