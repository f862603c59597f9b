#include "patterns/observed_pattern.h"

#include <algorithm>
#include <numeric>
#include <type_traits>

#include "app/status.h"
#include "app/status_log.h"
#include "errors/exceptions.h"
#include "patterns/plot_spec.h"
#include "patterns/smoothing.h"
#include "patterns/transfer_image.h"

namespace {

// Observed patterns are made empty for the observed-data and profile files, and from transfer
// images.
const CTSPattern::CRegistrar kRegistrar(
    CTSPattern::kObserved, {12, 13},
    [] { return std::shared_ptr<CTSPattern>(std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{})); },
    [](CTransferReader& reader) { return std::shared_ptr<CTSPattern>(std::make_shared<CTSObservedPattern>(reader)); });

constexpr double kHighestNaturalMinimum = 999.9;

// Writes the fields of the transfer image. Values are written as they are; control points
// handle by handle, so that their flags are read back one by one.
struct CImageWriter {
  CTransferWriter& writer;
  template <class T>
  void operator()(const T& value) {
    writer.Write(value);
  }
  void operator()(const CProfile& points) { writer.WriteProfile(points); }
  void operator()(const CBackgroundCurve& curve) { writer.WriteProfile(curve.Samples()); }
  void operator()(const std::vector<double>& values) {
    writer.Write<uint64_t>(values.size());
    for (const double value : values) writer.Write(value);
  }
  void operator()(const CControlPoints& points) {
    writer.Write<uint64_t>(points.size());
    for (const CBackgroundControlPoint& point : points)
      for (const CBackgroundHandle* handle : {&point.anchor, &point.in, &point.out}) {
        writer.Write(handle->x);
        writer.Write(handle->y);
        writer.Write(handle->selected);
      }
  }
};

struct CImageReader {
  CTransferReader& reader;
  template <class T>
  void operator()(T& value) {
    // Flags are read one by one (CTransferReader makes any byte a valid bool), never inside a
    // whole structure.
    static_assert(std::is_same_v<T, bool> || std::is_arithmetic_v<T> || std::is_enum_v<T> ||
                  std::is_same_v<T, CMarkedCurveStyle>);
    value = reader.Read<T>();
  }
  void operator()(CProfile& points) { points = reader.ReadProfile(); }
  void operator()(CBackgroundCurve& curve) { curve = CBackgroundCurve(reader.ReadProfile()); }
  void operator()(std::vector<double>& values) {
    values.resize(reader.ReadCount(sizeof(double)));
    for (double& value : values) value = reader.Read<double>();
  }
  void operator()(CControlPoints& points) {
    points.resize(reader.ReadCount(3 * (2 * sizeof(double) + 1)));
    for (CBackgroundControlPoint& point : points)
      for (CBackgroundHandle* handle : {&point.anchor, &point.in, &point.out}) {
        handle->x = reader.Read<double>();
        handle->y = reader.Read<double>();
        handle->selected = reader.Read<bool>();
      }
  }
};

}  // namespace

template <class Self, class Visit>
void CTSObservedPattern::VisitImageFields(Self& self, Visit&& visit) {
  visit(self.m_autoYScale);
  visit(self.m_smoothing.smooth);
  visit(self.m_smoothing.overlay);
  visit(self.m_smoothing.radius);
  visit(self.m_smoothedStyle);
  visit(self.m_backgroundInUse);
  visit(self.m_backgroundPreview);
  visit(self.m_controlPoints);
  visit(self.m_background);
  visit(self.m_backgroundStyle.colour);
  visit(self.m_backgroundStyle.lineStyle);
  visit(self.m_backgroundStyle.lineWidth);
  visit(self.m_backgroundStyle.useShadow);
  visit(self.m_backgroundStyle.controlPoints);
  visit(self.m_smoothed);
  visit(self.m_subtracted);
  visit(self.m_auxiliary);
  visit(self.m_handleFraction);
  visit(self.m_errors);
}

CTSObservedPattern::CTSObservedPattern(BuiltInDefaults tag) : CTSPattern(tag, "New Data") {}

CTSObservedPattern::CTSObservedPattern(CTransferReader& reader) : CTSPattern(reader) {
  VisitImageFields(*this, CImageReader{reader});
  if (!m_errors.empty() && m_errors.size() != RawPoints().size()) throw CVHXFileInvalid();
}

std::shared_ptr<CTSPattern> CTSObservedPattern::Clone() const {
  return std::make_shared<CTSObservedPattern>(*this);
}

size_t CTSObservedPattern::WriteTransferImage(CTransferWriter& cursor) const {
  const size_t start = cursor.Position();
  CTSPattern::WriteTransferImage(cursor);
  VisitImageFields(*this, CImageWriter{cursor});
  return cursor.Position() - start;
}

CProfile& CTSObservedPattern::ProfilePoints(bool raw) {
  return const_cast<CProfile&>(std::as_const(*this).ProfilePoints(raw));
}

const CProfile& CTSObservedPattern::ProfilePoints(bool raw) const {
  const CProfile& data = CTSPattern::ProfilePoints(true);
  if (raw) return data;
  if (m_backgroundInUse && !m_controlPoints.empty() && !m_subtracted.empty()) return m_subtracted;
  if (!m_smoothing.smooth || m_smoothing.overlay) return data;
  return m_smoothed.empty() ? data : m_smoothed;
}

const CProfile& CTSObservedPattern::GetProfile(const CPlotSpec& plotSpec) {
  if (!m_auxiliary.empty()) return m_auxiliary;
  const CProfile& shown = std::as_const(*this).ProfilePoints(false);
  if (shown.size() < 2) return m_auxiliary;
  CStatus status("Generating auxiliary points for %s...", Title());
  m_auxiliary = VHProfile::Resample(shown, XOffset(), plotSpec);
  return m_auxiliary;
}

std::string CTSObservedPattern::DisplayName() const {
  std::string name = CTSPattern::DisplayName();
  if (m_smoothing.smooth && !m_smoothed.empty() && !m_smoothing.overlay) name += " + smoothing";
  if (m_backgroundInUse && !m_controlPoints.empty() && !m_backgroundPreview) name += " - background";
  return name;
}

double CTSObservedPattern::NaturalXMin(VHTypes::TSAxisType) const {
  const CProfile& data = RawPoints();
  if (data.empty()) return kHighestNaturalMinimum;
  return std::min(std::ranges::min(data, {}, &CProfilePoint::x).x, kHighestNaturalMinimum);
}

double CTSObservedPattern::NaturalXMax(VHTypes::TSAxisType) const {
  const CProfile& data = RawPoints();
  if (data.empty()) return 0.0;
  return std::max(std::ranges::max(data, {}, &CProfilePoint::x).x, 0.0);
}

void CTSObservedPattern::SetData(CProfile points, std::vector<double> errors) {
  // Resampling, smoothing and the background all walk the data in rising x; data recorded
  // downwards, or merged from several scans, would come out as zeros.
  const auto byX = [](const CProfilePoint& a, const CProfilePoint& b) { return a.x < b.x; };
  if (!std::is_sorted(points.begin(), points.end(), byX)) {
    LogStatus("Warning: The data points are not in order of rising x; they are sorted.");
    std::vector<size_t> order(points.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return byX(points[a], points[b]); });
    CProfile sorted;
    std::vector<double> sortedErrors;
    for (const size_t i : order) {
      sorted.push_back(points[i]);
      if (errors.size() == points.size()) sortedErrors.push_back(errors[i]);
    }
    points = std::move(sorted);
    errors = std::move(sortedErrors);
  }
  CTSPattern::ProfilePoints(true) = std::move(points);
  m_errors = std::move(errors);
  m_smoothed.clear();
  m_subtracted.clear();
  m_auxiliary.clear();
}

void CTSObservedPattern::ScaleXValues(double factor) {
  for (CProfilePoint& point : CTSPattern::ProfilePoints(true)) point.x *= factor;
  m_smoothed.clear();
  m_subtracted.clear();
  m_auxiliary.clear();
}

void CTSObservedPattern::Smooth() {
  const CProfile& data = RawPoints();
  // Smoothing first brings the curve up to date, since the smoothed overlay has the background
  // taken off.
  m_background = CBackgroundCurve::Sample(m_controlPoints);
  m_smoothed = VHSmoothing::TriangularAverage(data, m_smoothing.radius);
  if (m_backgroundInUse && !m_background.Empty() && m_smoothing.overlay)
    for (CProfilePoint& point : m_smoothed) point.y -= m_background.At(point.x);
  m_auxiliary.clear();
  // Also when the radius does not fit: no subtracted points may keep an old smoothing.
  UpdateBackground();
}

void CTSObservedPattern::SetBackgroundInUse(bool inUse) {
  m_backgroundInUse = inUse;
  m_auxiliary.clear();
}

void CTSObservedPattern::SetControlPoints(CControlPoints points) {
  m_controlPoints = std::move(points);
  ApplyControlPoints();
}

void CTSObservedPattern::UpdateBackground() {
  if (m_controlPoints.empty()) return;
  m_background = CBackgroundCurve::Sample(m_controlPoints);
  const CProfile& source = m_smoothing.smooth && !m_smoothing.overlay ? m_smoothed : RawPoints();
  CProfile subtracted(source.size());
  std::ranges::transform(source, subtracted.begin(), [this](const CProfilePoint& point) {
    return CProfilePoint{point.x, point.y - m_background.At(point.x)};
  });
  m_subtracted = std::move(subtracted);
  m_auxiliary.clear();
}

void CTSObservedPattern::ResetBackground() {
  const CProfile& data = RawPoints();
  if (data.size() < 2) return;
  const double first = data.front().x, last = data.back().x;
  const double lowest = std::ranges::min(data, {}, &CProfilePoint::y).y;
  const double h = m_handleFraction * (last - first);
  m_controlPoints = {CBackgroundControlPoint::Horizontal(first, lowest, h),
                     CBackgroundControlPoint::Horizontal(last, lowest, h)};
  UpdateBackground();
}

void CTSObservedPattern::AddControlPoint() {
  if (m_controlPoints.size() < 2 || m_background.Empty()) return;
  const size_t n = m_controlPoints.size();
  const double first = m_controlPoints.front().anchor.x, last = m_controlPoints.back().anchor.x;
  const double span = last - first;
  const double step = span / static_cast<double>(n - 1) - span / static_cast<double>(n);
  const double low = std::min(first, last), high = std::max(first, last);
  for (size_t k = 1; k < n; ++k) {
    CBackgroundControlPoint& point = m_controlPoints[k];
    const double x = std::clamp(point.anchor.x - static_cast<double>(k) * step, low, high);
    point.ShiftX(x - point.anchor.x);
  }
  const double lastY = m_controlPoints.back().anchor.y;
  m_controlPoints.push_back(CBackgroundControlPoint::Horizontal(last, lastY, m_handleFraction * span));
  UpdateBackground();
}

void CTSObservedPattern::RemoveControlPoint() {
  if (m_controlPoints.empty()) return;
  const auto selected = std::ranges::find_if(m_controlPoints, &CBackgroundControlPoint::AnySelected);
  m_controlPoints.erase(selected == m_controlPoints.end() ? m_controlPoints.end() - 1 : selected);
  ApplyControlPoints();
}

void CTSObservedPattern::ClearHandleSelection() {
  for (CBackgroundControlPoint& point : m_controlPoints)
    point.anchor.selected = point.in.selected = point.out.selected = false;
}

void CTSObservedPattern::SelectHandle(size_t point, CHandleRole role) {
  if (point < m_controlPoints.size()) m_controlPoints[point].Handle(role).selected = true;
}

void CTSObservedPattern::ApplyControlPoints() {
  if (m_controlPoints.size() >= 2) {
    UpdateBackground();
    return;
  }
  m_controlPoints.clear();
  m_background = {};
  m_subtracted.clear();
  m_auxiliary.clear();
}
