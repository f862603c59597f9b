#include "cli/cli_document.h"

#include <algorithm>
#include <iterator>

CCliDocument::CCliDocument(const CPlotSpec& plotSpec, CCliDocumentUi::CSetUp setUp, bool profiles)
    : m_plotSpec(plotSpec), m_ui(std::move(setUp), profiles), m_document(m_ui) {
  m_document.PlotSpec() = m_plotSpec;
}

CPatternList CCliDocument::Add(const std::string& input) {
  const CPatternList before = m_document.Patterns();
  m_document.AddFile(input);
  // What the options made of a session's settings is what the run calculates with.
  m_document.PlotSpec() = m_plotSpec;
  CPatternList added;
  std::ranges::copy_if(m_document.Patterns(), std::back_inserter(added), [&](const auto& pattern) {
    return std::ranges::find(before, pattern) == before.end();
  });
  return added;
}
