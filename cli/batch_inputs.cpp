#include "cli/batch_inputs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/arguments.h"
#include "files/observed_files.h"
#include "files/session_file.h"
#include "files/tess_file.h"

namespace {

// What the file type table says makes a crystal: a type a format can read, whose new document
// is a crystal (neither data, session, molecule nor listing).
bool IsCrystalType(unsigned type) {
  const CTessFileType* info = CTessFile::TypeInfo(type);
  return info && info->defaultName == "New Crystal" && !IsObservedDataType(type) &&
         !IsSessionType(type) && !CTessFile::IsMoleculeType(type) && CTessFile::Create(type);
}

std::string Trimmed(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

void AddListed(const std::string& list, std::vector<std::string>& inputs) {
  std::ifstream file(list);
  if (!file) throw CUsageError("--list " + list + " cannot be read");
  for (std::string line; std::getline(file, line);) {
    const std::string path = Trimmed(line);
    if (!path.empty() && path.front() != '#') inputs.push_back(path);
  }
  if (file.bad()) throw CUsageError("--list " + list + " could not be read to its end");
}

void AddFolder(const std::string& folder, std::vector<std::string>& inputs) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(folder, error)) throw CUsageError("--dir " + folder + " is not a folder");
  std::vector<std::string> found;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                        error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error))
    if (walk->is_regular_file(error) && IsCrystalFile(walk->path().string()))
      found.push_back(walk->path().string());
  if (error) throw CUsageError("--dir " + folder + " cannot be read: " + error.message());
  std::sort(found.begin(), found.end());
  inputs.insert(inputs.end(), found.begin(), found.end());
}

}  // namespace

CShard ParseShard(const std::string& text) {
  const size_t slash = text.find('/');
  const std::optional<long long> index =
      slash == std::string::npos ? std::nullopt : ParseInteger(text.substr(0, slash));
  const std::optional<long long> count =
      slash == std::string::npos ? std::nullopt : ParseInteger(text.substr(slash + 1));
  if (!index || !count || *index < 0 || *count < 1)
    throw CUsageError("--shard needs K/N with 0 <= K < N, not '" + text + "'");
  if (*index >= *count)
    throw CUsageError("--shard " + text + ": K counts from 0 and must be below N");
  return {static_cast<size_t>(*index), static_cast<size_t>(*count)};
}

bool HasCrystalExtension(const std::string& path) {
  const std::vector<unsigned> types = CTessFile::CandidateTypes(path);
  return std::any_of(types.begin(), types.end(), IsCrystalType);
}

bool IsCrystalFile(const std::string& path) {
  if (HasCrystalExtension(path)) return true;
  // Only a file whose extension no format claims is read: a collection's data files, pictures
  // and listings are passed over without opening them.
  return CTessFile::CandidateTypes(path).empty() &&
         IsCrystalType(CTessFile::DetermineType(path, true));
}

std::vector<std::string> ListBatchInputs(const std::vector<std::string>& positionals,
                                         const std::optional<std::string>& list,
                                         const std::optional<std::string>& folder) {
  std::vector<std::string> inputs = positionals;
  if (list) AddListed(*list, inputs);
  if (folder) AddFolder(*folder, inputs);
  return inputs;
}

std::vector<std::string> ShardInputs(const std::vector<std::string>& inputs, const CShard& shard) {
  std::vector<std::string> taken;
  for (size_t i = shard.index; i < inputs.size(); i += shard.count) taken.push_back(inputs[i]);
  return taken;
}
