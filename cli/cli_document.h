// The application's document in a command-line run. A command adds its inputs as the desktop
// application adds files, and the document calculates them with the run's plot specification,
// so that the command line and the desktop cannot come to calculate differently.
#pragma once

#include <functional>
#include <string>

#include "document/tess_doc.h"

// The document's side of a run: nobody is there to answer, and there is no window to place. An
// alert keeps the base's report, which a run writes as one line on the error stream naming the
// input file in work.
class CCliDocumentUi final : public CDocumentUi {
 public:
  using CSetUp = std::function<void(CTSPattern&)>;

  CCliDocumentUi(CSetUp setUp, bool profiles) : m_setUp(std::move(setUp)), m_profiles(profiles) {}

  // A run that was started is meant to go on: "more than 20 files" and the like are answered
  // Continue.
  bool Confirm(const CVHException&) override { return true; }
  void SetUpFilePattern(CTSPattern& pattern) override {
    if (m_setUp) m_setUp(pattern);
  }
  bool WantsProfiles() const override { return m_profiles; }

 private:
  CSetUp m_setUp;
  bool m_profiles;
};

class CCliDocument {
 public:
  // `setUp` gives each pattern read from a crystal or data file the command's settings before
  // the document calculates it, or refuses the file by raising. Without `profiles` patterns are
  // calculated to their intensities only.
  explicit CCliDocument(const CPlotSpec& plotSpec, CCliDocumentUi::CSetUp setUp = {},
                        bool profiles = true);
  CCliDocument(const CCliDocument&) = delete;
  CCliDocument& operator=(const CCliDocument&) = delete;

  // Adds one input file; a failure is raised and adds nothing. Returns the patterns the file
  // brought: those of a crystal or data file calculated, those of a session as it saved them.
  // A session replaces the document's patterns, but not the run's plot specification.
  CPatternList Add(const std::string& input);
  // Calculates every plotted pattern with the run's plot specification: after a session, what it
  // shows.
  void RecalculatePlotted() { m_document.RecalculatePlotted(false, false, false); }
  const CPatternList& Patterns() const { return m_document.Patterns(); }

 private:
  const CPlotSpec m_plotSpec;
  CCliDocumentUi m_ui;
  CTessDoc m_document;
};
