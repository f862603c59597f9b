// The files one run of a command writes. No output may be one of the run's inputs, and no two
// outputs of one run share a name: a later one would silently replace an earlier one.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <set>
#include <span>
#include <string>
#include <vector>

class CRunOutputs {
 public:
  CRunOutputs(std::span<const std::string> inputs, std::ostream& err);

  // Refuses, with a usage error naming `option`, an output the user named that is one of the
  // inputs; called before any work.
  void RefuseInput(const std::string& path, const std::string& option) const;
  // The path to write for `wanted`: "-" (the standard output) as it is; otherwise `wanted`, or,
  // when this run has written that name already or it is one of the inputs, the first free name
  // with "-2", "-3", ... before the extension, with a note on the error stream.
  std::string Claim(const std::string& wanted);

 private:
  bool Taken(const std::filesystem::path& path) const;

  std::vector<std::filesystem::path> m_inputs;
  std::set<std::filesystem::path> m_claimed;
  std::ostream& m_err;
};

// The same file, whether it exists yet or not: both paths resolved through links and "..".
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);
