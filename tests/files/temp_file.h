// A uniquely named file in the temporary folder, removed again when the test ends.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

class CTempFile {
 public:
  explicit CTempFile(std::string_view extension = ".bin", std::string_view contents = {}) {
    std::string name =
        (std::filesystem::temp_directory_path() / "tessaline-XXXXXX").string() + std::string(extension);
    const int descriptor = ::mkstemps(name.data(), static_cast<int>(extension.size()));
    if (descriptor >= 0) ::close(descriptor);
    m_path = name;
    Write(contents);
  }
  CTempFile(const CTempFile&) = delete;
  CTempFile& operator=(const CTempFile&) = delete;
  ~CTempFile() { std::filesystem::remove(m_path); }

  const std::string& Path() const { return m_path; }

  void Write(std::string_view contents) const {
    std::ofstream(m_path, std::ios::binary | std::ios::trunc).write(contents.data(), contents.size());
  }
  std::string Contents() const {
    std::ifstream in(m_path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::string m_path;
};
