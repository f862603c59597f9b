#include "cli/session_inputs.h"

#include <algorithm>
#include <iterator>

#include "files/session_file.h"
#include "files/tess_file.h"

bool IsSessionFile(const std::string& path) {
  return IsSessionType(CTessFile::DetermineType(path));
}

CSessionInputs::CSessionInputs(std::span<const std::string> inputs) {
  for (const std::string& input : inputs) {
    if (!IsSessionFile(input) || Holds(input)) continue;
    CEntry& entry = m_entries.emplace_back(CEntry{input, std::nullopt, nullptr});
    try {
      entry.session = ReadSessionFile(input);
    } catch (...) {
      entry.error = std::current_exception();
    }
  }
}

const CPlotSpec* CSessionInputs::FirstPlotSpec() const {
  for (const CEntry& entry : m_entries)
    if (entry.session) return &entry.session->plotSpec;
  return nullptr;
}

bool CSessionInputs::Holds(const std::string& input) const {
  return std::ranges::any_of(m_entries, [&](const CEntry& entry) { return entry.path == input; });
}

const CSession& CSessionInputs::Session(const std::string& input) const {
  const auto entry = std::ranges::find(m_entries, input, &CEntry::path);
  if (entry->error) std::rethrow_exception(entry->error);
  return *entry->session;
}

CPatternList PlottedSessionPatterns(const CSession& session) {
  CPatternList plotted;
  std::ranges::copy_if(session.patterns, std::back_inserter(plotted),
                       [](const auto& pattern) { return pattern->Plotted(); });
  return plotted;
}

std::vector<CCrystalFile> SessionCrystals(const CSession& session) {
  std::vector<CCrystalFile> crystals;
  for (const auto& pattern : session.patterns)
    if (pattern->GetKind() == CTSPattern::kCrystal)
      crystals.push_back({*pattern->Crystal(), CTSSessionFile::kTypeId, pattern->Title()});
  return crystals;
}
