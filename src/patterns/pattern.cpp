#include "patterns/pattern.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <utility>

#include "errors/exceptions.h"
#include "patterns/transfer_image.h"

namespace {

constexpr uint32_t kPalette[] = {0xFF000000, 0xFFCC0000, 0xFF00CC00, 0xFF0000CC, 0xFF004400,
                                 0xFF6633CC, 0xFFFF9900, 0xFF7F7F7F, 0xFF600030, 0xFF00FFFF,
                                 0xFFCCFF66, 0xFF7F007F, 0xFF007F7F, 0xFFFFFF00, 0xFFCC00CC};
// Process-wide: the command line's batch runs read files on several threads at once.
std::atomic<size_t> g_nextColour{0};

constexpr uint32_t kAlphaMask = 0xFF000000;

struct CKindRegistration {
  uint64_t handle;
  CTSPattern::Kind kind;
  std::vector<unsigned> fileTypes;
  CTSPattern::CCreate create;
  CTSPattern::CRead read;
};

std::vector<CKindRegistration>& Registrations() {
  static std::vector<CKindRegistration> registrations;
  return registrations;
}

// The latest registration that satisfies `matches`, or nullptr.
template <class Predicate>
const CKindRegistration* Latest(Predicate matches) {
  const auto& registrations = Registrations();
  const auto found = std::find_if(registrations.rbegin(), registrations.rend(), matches);
  return found == registrations.rend() ? nullptr : &*found;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The digit run starting at `i` without its leading zeros; advances `i` past the run.
std::string_view DigitRun(std::string_view text, size_t& i) {
  const size_t begin = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  std::string_view run = text.substr(begin, i - begin);
  while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
  return run;
}

template <class Projection>
void Select(const CTSPattern& pattern, double xFrom, double xTo, Projection take, double& result, bool& found) {
  const bool whole = xFrom == 0.0 && xTo == 0.0;
  for (const CProfilePoint& point : pattern.ProfilePoints(false)) {
    const CProfilePoint plotted = pattern.PlottedPoint(point);
    if (!whole && (plotted.x < xFrom || plotted.x > xTo)) continue;
    result = found ? take(result, plotted.y) : plotted.y;
    found = true;
  }
}

}  // namespace

CTSPattern::CTSPattern(BuiltInDefaults, std::string title) : m_title(std::move(title)) {}

CTSPattern::~CTSPattern() = default;

void CTSPattern::LabelsInRange(double, double, CReflexionList& labels) const { labels.clear(); }

CProfile& CTSPattern::ProfilePoints(bool) { return m_profile; }

const CProfile& CTSPattern::ProfilePoints(bool) const { return m_profile; }

void CTSPattern::Recalculate(const CPlotSpec&) {
  AssignAutomaticColour();
  ClearProfile();
}

const CProfile& CTSPattern::GetProfile(const CPlotSpec& plotSpec) {
  if (std::as_const(*this).ProfilePoints(false).empty()) ComputeProfile(plotSpec);
  return std::as_const(*this).ProfilePoints(false);
}

std::string CTSPattern::DisplayName() const {
  if (!(m_mixtureFraction < 1.0)) return m_title;
  return Formatted("%.2f  ", m_mixtureFraction) + m_title;
}

std::span<const uint32_t> CTSPattern::AutomaticColours() { return kPalette; }

void CTSPattern::AssignAutomaticColour() {
  if ((m_style.colour & kAlphaMask) != 0) return;
  m_style.colour = kPalette[g_nextColour++ % std::size(kPalette)];
}

CProfilePoint CTSPattern::PlottedPoint(const CProfilePoint& point) const {
  return {point.x + m_xOffset, point.y * m_yScale * m_mixtureFraction + m_yOffset};
}

double CTSPattern::LargestPlottedIntensity(double xFrom, double xTo) const {
  double result = 0.0;
  bool found = false;
  Select(*this, xFrom, xTo, [](double a, double b) { return std::max(a, b); }, result, found);
  return result;
}

double CTSPattern::SmallestPlottedIntensity(double xFrom, double xTo) const {
  double result = 0.0;
  bool found = false;
  Select(*this, xFrom, xTo, [](double a, double b) { return std::min(a, b); }, result, found);
  return result;
}

// --- Transfer image ------------------------------------------------------------------------

size_t CTSPattern::TransferSize() const {
  CTransferWriter counter;
  return WriteTransferImage(counter);
}

size_t CTSPattern::WriteTransferImage(CTransferWriter& cursor) const {
  const size_t start = cursor.Position();
  cursor.Write(GetKind());
  cursor.WriteString(m_path);
  cursor.Write(m_display);
  cursor.Write(m_needsCalculation);
  cursor.WriteString(m_title);
  cursor.Write(m_selected);
  cursor.Write(m_plotted);
  cursor.Write(m_style);
  cursor.Write(m_labels);
  cursor.Write(m_xOffset);
  cursor.Write(m_yOffset);
  cursor.Write(m_mixtureFraction);
  cursor.Write(m_yScale);
  cursor.WriteProfile(m_profile);
  return cursor.Position() - start;
}

CTSPattern::CTSPattern(CTransferReader& reader)
    : m_path(reader.ReadString()),
      m_display(reader.Read<CDisplayState>()),
      m_needsCalculation(reader.Read<uint32_t>()),
      m_title(reader.ReadString()),
      m_selected(reader.Read<bool>()),
      m_plotted(reader.Read<bool>()),
      m_style(reader.Read<CCurveStyle>()),
      m_labels(reader.Read<CLabelOptions>()),
      m_xOffset(reader.Read<double>()),
      m_yOffset(reader.Read<double>()),
      m_mixtureFraction(reader.Read<double>()),
      m_yScale(reader.Read<double>()),
      m_profile(reader.ReadProfile()) {}

std::shared_ptr<CTSPattern> CTSPattern::NewPatternFromTransferImage(CTransferReader& reader) {
  const auto kind = reader.Read<uint32_t>();
  const CKindRegistration* registration = Latest([kind](const CKindRegistration& r) { return r.kind == kind; });
  if (!registration || !registration->read) throw CVHXFileInvalid();
  return registration->read(reader);
}

std::shared_ptr<CTSPattern> CTSPattern::NewPatternFromTransferImage(std::span<const std::byte> image) {
  CTransferReader reader(image);
  return NewPatternFromTransferImage(reader);
}

std::vector<std::byte> CTSPattern::TransferImage(const CTSPattern& pattern) {
  std::vector<std::byte> image(pattern.TransferSize());
  CTransferWriter writer(image);
  pattern.WriteTransferImage(writer);
  return image;
}

std::shared_ptr<CTSPattern> CTSPattern::NewPatternOfFileType(unsigned fileType) {
  const CKindRegistration* registration = Latest([fileType](const CKindRegistration& r) {
    return r.create && std::ranges::find(r.fileTypes, fileType) != r.fileTypes.end();
  });
  return registration ? registration->create() : nullptr;
}

CTSPattern::CRegistrar::CRegistrar(Kind kind, std::initializer_list<unsigned> fileTypes, CCreate create,
                                   CRead read) {
  static uint64_t nextHandle = 0;
  m_handle = ++nextHandle;
  Registrations().push_back({m_handle, kind, fileTypes, create, read});
}

CTSPattern::CRegistrar::~CRegistrar() {
  std::erase_if(Registrations(), [this](const CKindRegistration& r) { return r.handle == m_handle; });
}

// --- Sorting ---------------------------------------------------------------------------------

int NaturalCompare(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const std::string_view x = DigitRun(a, i), y = DigitRun(b, j);
      // Without leading zeros, the longer run is the larger number.
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int c = x.compare(y); c != 0) return c < 0 ? -1 : 1;
      continue;
    }
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[j]));
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i, ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

void ForEachPattern(const CPatternList& patterns, const std::function<void(CTSPattern&)>& visit) {
  for (const std::shared_ptr<CTSPattern>& pattern : patterns) {
    visit(*pattern);
    if (const CPatternList* components = pattern->Components()) ForEachPattern(*components, visit);
  }
}

void SortPatterns(CPatternList& patterns, TSPatternOrder order) {
  const auto before = [order](const std::shared_ptr<CTSPattern>& a, const std::shared_ptr<CTSPattern>& b) {
    switch (order) {
      case TSPatternOrder::kTitle:
        return NaturalCompare(a->Title(), b->Title()) < 0;
      case TSPatternOrder::kVisibility:
        return a->Plotted() && !b->Plotted();
      case TSPatternOrder::kKind:
        return a->GetKind() < b->GetKind();
      case TSPatternOrder::kMixtureFraction:
        return a->MixtureFraction() < b->MixtureFraction();
    }
    return false;
  };
  std::stable_sort(patterns.begin(), patterns.end(), before);
  for (const auto& pattern : patterns)
    if (CPatternList* components = pattern->Components()) SortPatterns(*components, order);
}
