// The background of observed data: control points that the user places, each an anchor the
// curve passes through with two Bézier handles, and the curve sampled densely between them.
#pragma once

#include <cstdint>
#include <vector>

#include "patterns/profile.h"

// One draggable point of a control point; coordinates in data units, before the pattern's
// x offset.
struct CBackgroundHandle {
  double x = 0.0;
  double y = 0.0;
  bool selected = false;
  friend bool operator==(const CBackgroundHandle&, const CBackgroundHandle&) = default;
};

// The three draggable points of a control point, in the order the plot tests them.
enum class CHandleRole : uint8_t { kAnchor, kIn, kOut };

// An anchor with the handle that shapes the curve on its left (in) and on its right (out).
struct CBackgroundControlPoint {
  CBackgroundHandle anchor;
  CBackgroundHandle in;
  CBackgroundHandle out;

  CBackgroundHandle& Handle(CHandleRole role) {
    return role == CHandleRole::kAnchor ? anchor : role == CHandleRole::kIn ? in : out;
  }
  const CBackgroundHandle& Handle(CHandleRole role) const {
    return role == CHandleRole::kAnchor ? anchor : role == CHandleRole::kIn ? in : out;
  }

  // An anchor at (x, y) with horizontal handles at x - h and x + h.
  static CBackgroundControlPoint Horizontal(double x, double y, double h);
  bool AnySelected() const { return anchor.selected || in.selected || out.selected; }
  // Moves the anchor and both handles along x.
  void ShiftX(double dx);
  friend bool operator==(const CBackgroundControlPoint&, const CBackgroundControlPoint&) = default;
};

using CControlPoints = std::vector<CBackgroundControlPoint>;

// Control points through anchors given in increasing x, with horizontal handles of
// `handleFraction` times the anchors' x span, each shortened to half the gap to its nearer
// neighbour so that the curve never turns back along x.
CControlPoints ControlPointsThrough(const CProfile& anchors, double handleFraction);

// The sampled curve and the background value it gives at any x.
class CBackgroundCurve {
 public:
  static constexpr size_t kSamplesPerSegment = 101;

  CBackgroundCurve() = default;
  // A curve from its samples, as a transfer image holds them.
  explicit CBackgroundCurve(CProfile samples);

  // (n - 1) * 101 + 1 samples for n control points: the anchors at every 101st sample and,
  // between control points s - 1 and s, the cubic Bézier points at t = k / 101 (k = 1 to 100)
  // of the first anchor, its out-handle, the second's in-handle and the second anchor. The
  // segments, and the samples within a segment, are computed in parallel; the result does not
  // depend on the number of threads. No control points give an empty curve.
  static CBackgroundCurve Sample(const CControlPoints& points);

  // The background at x: 0 for an empty curve or an x outside the first to the last anchor x;
  // otherwise the line through the first sample whose x is not below x and the sample before
  // it, which is (0, 0) for the first sample.
  double At(double x) const;

  const CProfile& Samples() const { return m_samples; }
  bool Empty() const { return m_samples.empty(); }

 private:
  CProfile m_samples;
  // The largest sample x up to each sample. It never falls, and the first sample whose x is not
  // below some x is the first at which it is not below that x, so the search is a bisection even
  // where handles make the curve turn back along x.
  std::vector<double> m_reach;
};
