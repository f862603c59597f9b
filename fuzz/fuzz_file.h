// The fuzzer's input as a file on disc: one temporary file per process, rewritten for every
// input and removed at exit.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string& FuzzInputPath(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    // Memory-backed when the system has it: the file is rewritten for every input.
    std::string name = std::filesystem::exists("/dev/shm") ? "/dev/shm/tessaline-fuzz-XXXXXX"
                                                           : "/tmp/tessaline-fuzz-XXXXXX";
    const int descriptor = ::mkstemp(name.data());
    if (descriptor < 0) std::abort();
    ::close(descriptor);
    static std::string removed;
    removed = name;
    std::atexit([] { std::remove(removed.c_str()); });
    return name;
  }();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) std::abort();
  return path;
}
