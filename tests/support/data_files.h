// Where the test structures live: the project's own (tests/data) and the public collection
// with reference values (shared data, which may be absent).
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::filesystem::path TestDataPath(const std::string& name) {
  return std::filesystem::path(TESSALINE_TEST_DATA) / name;
}

// The shared data folder, or an empty path when it is not there.
inline std::filesystem::path SharedDataPath() {
  const std::filesystem::path path(TESSALINE_SHARED_DATA);
  return std::filesystem::is_directory(path / "cif") ? path : std::filesystem::path();
}

#define SKIP_WITHOUT_SHARED_DATA()                                                         \
  if (SharedDataPath().empty())                                                            \
  GTEST_SKIP() << "public structures not found at " TESSALINE_SHARED_DATA                  \
                  " (set the CMake cache variable TESSALINE_SHARED_DATA)"

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
