// A document with a user interface that answers as the test says and a view that records what
// it hears.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/tess_doc.h"
#include "errors/exception.h"
#include "instances/named_messages.h"
#include "instances/vh_message.h"
#include "support/data_files.h"

class CScriptedUi : public CDocumentUi {
 public:
  void Alert(const CVHException& error) override { alerts.push_back(error.ResourceId()); }
  bool Confirm(const CVHException& question) override {
    questions.push_back(question.ResourceId());
    questionTexts.push_back(question.Message());
    return answer;
  }
  bool CancelRequested() override { return polls++ >= cancelAfter; }
  bool MayRestoreWindow() override { return true; }
  void RestoreWindow(const CWindowRect& rect) override { restored.push_back(rect); }
  void SetUpFilePattern(CTSPattern& pattern) override {
    if (setUp) setUp(pattern);
  }

  bool answer = true;
  size_t polls = 0;
  size_t cancelAfter = SIZE_MAX;
  std::vector<unsigned> alerts;
  std::vector<unsigned> questions;
  std::vector<std::string> questionTexts;
  std::vector<CWindowRect> restored;
  std::function<void(CTSPattern&)> setUp;
};

// Counts the "DatasetRead" messages sent to the application's windows while it lives.
class CDatasetReadCounter : public CVHMsgReceiver {
 public:
  CDatasetReadCounter() { CVHMsgDispatcher::Instance().Join(CVHMsgGroup::kGeneral, this); }
  CVHMsgAnswer OnNamedMessage(uint32_t number, CVHMsgArgument first, CVHMsgArgument) override {
    if (number == NamedMessage(VHMsgName::DatasetRead).sync) {
      ++count;
      document = reinterpret_cast<const CTessDoc*>(first);
    }
    return 0;
  }
  int count = 0;
  const CTessDoc* document = nullptr;
};

class CRecordingView : public CDocumentView {
 public:
  explicit CRecordingView(CTessDoc& document) : m_document(document) { m_document.AddView(*this); }
  ~CRecordingView() override { m_document.RemoveView(*this); }
  void OnUpdate(const CUpdateHint& hint) override {
    codes.push_back(hint.Code());
    if (auto* selected = dynamic_cast<const CUHReflexionSelected*>(&hint))
      pickedReflexion = selected->reflexion.get();
  }
  std::vector<int32_t> codes;
  const CTSReflexion* pickedReflexion = nullptr;

 private:
  CTessDoc& m_document;
};

inline std::string TestFile(const char* name) {
  return TestDataPath(name).string();
}
inline std::string ExampleFile(const char* name) {
  return std::string(TESSALINE_SOURCE_DIR "/examples/") + name;
}
