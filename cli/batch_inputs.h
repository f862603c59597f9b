// The inputs of a batch run: named on the command line, listed in a file, or found in a folder,
// and the share of them that one task of a split run takes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Batch runs make data sets: a common grid unless the options ask for another (the 2-theta range
// in degrees, and the points).
inline constexpr double kBatchXMin = 5.0, kBatchXMax = 90.0;
inline constexpr unsigned long long kBatchPoints = 4500;

// --shard K/N: every N-th input from the K-th (0-based).
struct CShard {
  size_t index = 0;
  size_t count = 1;
};

// Parses K/N; anything else, or K not below N, raises CUsageError.
CShard ParseShard(const std::string& text);

// Whether the file's extension is that of a crystal format the program reads.
bool HasCrystalExtension(const std::string& path);
// Whether --dir takes the file: by a crystal format's extension, or, for an extension no format
// claims, by its content.
bool IsCrystalFile(const std::string& path);

// The inputs in this order: the positional ones, then the lines of `list` (blank lines and lines
// starting with '#' skipped, surrounding blanks trimmed), then the crystal files under `folder`
// (recursively, sorted by path so that every run lists them alike). A list or folder that cannot
// be read raises CUsageError naming it.
std::vector<std::string> ListBatchInputs(const std::vector<std::string>& positionals,
                                         const std::optional<std::string>& list,
                                         const std::optional<std::string>& folder);

// The inputs that shard takes, in their order.
std::vector<std::string> ShardInputs(const std::vector<std::string>& inputs, const CShard& shard);
