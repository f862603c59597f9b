#include "cli/run_outputs.h"

#include <ostream>
#include <system_error>

#include "cli/arguments.h"

namespace {

std::filesystem::path Resolved(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
  return error ? std::filesystem::absolute(path).lexically_normal() : resolved;
}

}  // namespace

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  return Resolved(a) == Resolved(b);
}

CRunOutputs::CRunOutputs(std::span<const std::string> inputs, std::ostream& err) : m_err(err) {
  for (const std::string& input : inputs) m_inputs.push_back(Resolved(input));
}

void CRunOutputs::RefuseInput(const std::string& path, const std::string& option) const {
  if (path == "-") return;
  for (const std::filesystem::path& input : m_inputs)
    if (Resolved(path) == input)
      throw CUsageError(option + " " + path + " is one of the inputs; it would be overwritten");
}

bool CRunOutputs::Taken(const std::filesystem::path& path) const {
  const std::filesystem::path resolved = Resolved(path);
  if (m_claimed.count(resolved)) return true;
  for (const std::filesystem::path& input : m_inputs)
    if (resolved == input) return true;
  return false;
}

std::string CRunOutputs::Claim(const std::string& wanted) {
  if (wanted == "-") return wanted;
  std::filesystem::path path = wanted;
  for (int n = 2; Taken(path); ++n) {
    path = wanted;
    path.replace_filename(path.stem().string() + "-" + std::to_string(n) +
                          path.extension().string());
  }
  if (path != wanted)
    m_err << "tessaline-cli: " << wanted << " is already written or read by this run; writing "
          << path.string() << " instead\n";
  m_claimed.insert(Resolved(path));
  return path.string();
}
