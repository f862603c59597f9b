#include "patterns/background.h"

#include <algorithm>
#include <cmath>

namespace {

CProfilePoint PointOf(const CBackgroundHandle& handle) {
  return {handle.x, handle.y};
}

// The cubic Bézier curve with control points p0 to p3 at t.
CProfilePoint Bezier(const CProfilePoint& p0, const CProfilePoint& p1, const CProfilePoint& p2, const CProfilePoint& p3,
                     double t) {
  const double u = 1.0 - t;
  const double b0 = u * u * u, b1 = 3.0 * u * u * t, b2 = 3.0 * u * t * t, b3 = t * t * t;
  return {b0 * p0.x + b1 * p1.x + b2 * p2.x + b3 * p3.x, b0 * p0.y + b1 * p1.y + b2 * p2.y + b3 * p3.y};
}

std::vector<double> Reach(const CProfile& samples) {
  std::vector<double> reach(samples.size());
  double furthest = -HUGE_VAL;
  for (size_t i = 0; i < samples.size(); ++i) reach[i] = furthest = std::max(furthest, samples[i].x);
  return reach;
}

}  // namespace

CBackgroundControlPoint CBackgroundControlPoint::Horizontal(double x, double y, double h) {
  return {{x, y, false}, {x - h, y, false}, {x + h, y, false}};
}

void CBackgroundControlPoint::ShiftX(double dx) {
  anchor.x += dx;
  in.x += dx;
  out.x += dx;
}

CControlPoints ControlPointsThrough(const CProfile& anchors, double handleFraction) {
  CControlPoints points;
  if (anchors.empty()) return points;
  const double span = anchors.back().x - anchors.front().x;
  for (size_t i = 0; i < anchors.size(); ++i) {
    double h = handleFraction * span;
    if (i > 0) h = std::min(h, 0.5 * (anchors[i].x - anchors[i - 1].x));
    if (i + 1 < anchors.size()) h = std::min(h, 0.5 * (anchors[i + 1].x - anchors[i].x));
    points.push_back(CBackgroundControlPoint::Horizontal(anchors[i].x, anchors[i].y, h));
  }
  return points;
}

CBackgroundCurve::CBackgroundCurve(CProfile samples) : m_samples(std::move(samples)), m_reach(Reach(m_samples)) {}

CBackgroundCurve CBackgroundCurve::Sample(const CControlPoints& points) {
  if (points.empty()) return {};
  const long segments = static_cast<long>(points.size()) - 1;
  CProfile samples(static_cast<size_t>(segments) * kSamplesPerSegment + 1);
  samples[0] = PointOf(points[0].anchor);
  const double dt = 1.0 / kSamplesPerSegment;
  // Every sample has its own slot, so the threads share nothing they write.
#pragma omp parallel for schedule(dynamic, 1)
  for (long s = 1; s <= segments; ++s) {
    const CBackgroundControlPoint& from = points[static_cast<size_t>(s - 1)];
    const CBackgroundControlPoint& to = points[static_cast<size_t>(s)];
    CProfilePoint* segment = samples.data() + static_cast<size_t>(s - 1) * kSamplesPerSegment;
#pragma omp parallel for schedule(dynamic, 1)
    for (long k = 1; k < static_cast<long>(kSamplesPerSegment); ++k)
      segment[k] = Bezier(PointOf(from.anchor), PointOf(from.out), PointOf(to.in), PointOf(to.anchor),
                          static_cast<double>(k) * dt);
    segment[kSamplesPerSegment] = PointOf(to.anchor);
  }
  return CBackgroundCurve(std::move(samples));
}

double CBackgroundCurve::At(double x) const {
  if (m_samples.empty() || x < m_samples.front().x || x > m_samples.back().x) return 0.0;
  const size_t notBelow = static_cast<size_t>(std::ranges::lower_bound(m_reach, x) - m_reach.begin());
  if (notBelow == m_samples.size()) return 0.0;
  const CProfilePoint before = notBelow == 0 ? CProfilePoint{} : m_samples[notBelow - 1];
  return VHProfile::Interpolate(before, m_samples[notBelow], x);
}
