// What a broadcast tells the views: the hint code says what changed, and each view decides what
// to redo. The codes are the document's vocabulary between its panes, its lists and the plot.
#pragma once

#include <cstdint>
#include <memory>

class CTessDoc;
class CDocumentView;
class CTSPattern;
struct CTSReflexion;

namespace HintCode {
// Codes with a reaction of the document before the views hear of them.
constexpr int32_t kBackgroundChanged = 3;
constexpr int32_t kRecalculatePlotted = 7;
constexpr int32_t kOccupancyChanged = 10;
constexpr int32_t kInstrumentChanged = 13;
constexpr int32_t kReflexionsChanged = 14;
constexpr int32_t kSmoothingChanged = 15;
constexpr int32_t kCellChanged = 16;
constexpr int32_t kCellChangedKeepingVolume = 17;
constexpr int32_t kPatternListChanged = 19;
constexpr int32_t kPlottedSetChanged = 24;
constexpr int32_t kOccupancyChangedByDocument = 42;
// Codes the views act on alone.
constexpr int32_t kFilmChanged = 4;
constexpr int32_t kGraphChanged = 5;
constexpr int32_t kGraphOptionsChanged = 6;
constexpr int32_t kLabelsChanged = 8;
constexpr int32_t kMixtureChanged = 9;
constexpr int32_t kOffsetsChanged = 11;
constexpr int32_t kPreferredOrientationChanged = 12;
constexpr int32_t kTitleChanged = 18;
constexpr int32_t kPatternsPaneChanged = 20;
constexpr int32_t kReflexionSelected = 21;
constexpr int32_t kDocumentCommand = 22;
constexpr int32_t kPatternsPane = 23;
constexpr int32_t kRequestPlotUpdate = 45;
}  // namespace HintCode

class CUpdateHint {
 public:
  CUpdateHint(int32_t code, CTessDoc* document, CDocumentView* sender = nullptr)
      : m_code(code), m_document(document), m_sender(sender) {}
  virtual ~CUpdateHint() = default;

  int32_t Code() const { return m_code; }
  CTessDoc* Document() const { return m_document; }
  CDocumentView* Sender() const { return m_sender; }
  // False in every plain hint; a request to update the plot sets it.
  bool RequestsPlotUpdate() const { return m_requestsPlotUpdate; }

 protected:
  CUpdateHint(int32_t code, CTessDoc* document, CDocumentView* sender, bool requestsPlotUpdate)
      : m_code(code),
        m_document(document),
        m_sender(sender),
        m_requestsPlotUpdate(requestsPlotUpdate) {}

 private:
  int32_t m_code;
  CTessDoc* m_document;
  CDocumentView* m_sender;
  bool m_requestsPlotUpdate = false;
};

// The plot settings changed or the patterns were recalculated: the plot recomputes its scaling
// and redraws. The two values name a pattern row and a curve to keep in view; every sender so
// far sets them to -1, none.
class CUHRequestPlotUpdate : public CUpdateHint {
 public:
  explicit CUHRequestPlotUpdate(CTessDoc* document, CDocumentView* sender = nullptr)
      : CUpdateHint(HintCode::kRequestPlotUpdate, document, sender, true) {}

  int8_t keepRow = -1;
  int8_t keepCurve = -1;
};

// A reflexion was picked, in the plot or in the reflexions list.
class CUHReflexionSelected : public CUpdateHint {
 public:
  CUHReflexionSelected(CTessDoc* document, CDocumentView* sender,
                       std::shared_ptr<CTSPattern> pattern, std::shared_ptr<CTSReflexion> reflexion)
      : CUpdateHint(HintCode::kReflexionSelected, document, sender),
        pattern(std::move(pattern)),
        reflexion(std::move(reflexion)) {}

  std::shared_ptr<CTSPattern> pattern;
  std::shared_ptr<CTSReflexion> reflexion;
};

// A view of the document: the plot, the patterns list, the reflexions list, the panes. It hears
// of every broadcast but its own.
class CDocumentView {
 public:
  virtual ~CDocumentView() = default;
  virtual void OnUpdate(const CUpdateHint& hint) = 0;
};
