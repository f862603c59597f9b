// The parsed command line of a start: what to do (nothing, open or print) and with which files.
// A second copy hands it to a running copy as a block of bytes; only this program writes and
// reads that block, so its layout is ours:
//
//   offset  size  content
//   0       4     "VHCL"
//   4       4     layout version, 1
//   8       1     request: 0 nothing, 1 open the files, 2 print the files
//   9       4     number of files
//   13      ...   per file: 4 bytes length, then the path in UTF-8 without terminator
//
// Integers are unsigned and little-endian whatever the machine. A block that does not follow
// the layout to its last byte is refused whole.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CVHCommandLineInfo {
  enum class ERequest : uint8_t { kNothing = 0, kOpen = 1, kPrint = 2 };

  ERequest request = ERequest::kNothing;
  std::vector<std::string> files;

  bool operator==(const CVHCommandLineInfo&) const = default;
};

// The arguments after the program's name, as left by the framework: paths to open, or to print
// with "--print"; after "--" every argument is a path, even one that begins with "-".
CVHCommandLineInfo ParseCommandLine(std::span<const std::string_view> arguments);

std::vector<uint8_t> SerialiseCommandLine(const CVHCommandLineInfo& commandLine);
// Nothing for a block that is not a complete command line in the layout above.
std::optional<CVHCommandLineInfo> DeserialiseCommandLine(std::span<const uint8_t> block);
