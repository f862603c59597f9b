#include "patterns/peak_sum.h"

#include <omp.h>

#include <algorithm>
#include <cstdint>

#include "crystal/vector.h"

// Highway compiles the part between HWY_BEFORE_NAMESPACE and HWY_AFTER_NAMESPACE once per
// instruction set by including this file again for each.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "patterns/peak_sum.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <hwy/contrib/math/math-inl.h>

HWY_BEFORE_NAMESPACE();
namespace peak_sum {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;

// The shapes of profile.cpp for one half width, on a vector of distances from the centre,
// with the same operations in the same order.
class CDeltaShape {
 public:
  CDeltaShape(D d, double w, double /*eta*/) : m_w(hn::Set(d, w)) {}
  V operator()(D d, V dx) const {
    const V distance = hn::Abs(dx);
    return hn::IfThenElseZero(hn::Lt(distance, m_w),
                              hn::Sub(hn::Set(d, 1.0), hn::Div(distance, m_w)));
  }

 private:
  V m_w;
};

class CLorentzianShape {
 public:
  CLorentzianShape(D d, double w, double /*eta*/)
      : m_inverseWidth(hn::Set(d, 1.0 / w)), m_piW(hn::Set(d, VHTypes::kPi * w)) {}
  V operator()(D d, V dx) const {
    const V u = hn::Mul(dx, m_inverseWidth);
    return hn::Div(hn::Set(d, 1.0), hn::Mul(m_piW, hn::Add(hn::Set(d, 1.0), hn::Mul(u, u))));
  }

 private:
  V m_inverseWidth, m_piW;
};

class CGaussianShape {
 public:
  CGaussianShape(D d, double w, double /*eta*/)
      : m_inverseWidth(hn::Set(d, 1.0 / w)), m_height(hn::Set(d, VHProfile::kGaussianNorm / w)) {}
  V operator()(D d, V dx) const {
    const V u = hn::Mul(dx, m_inverseWidth);
    const V a = hn::Mul(hn::Mul(hn::Set(d, -VHProfile::kLn2), u), u);
    return hn::IfThenZeroElse(hn::Le(a, hn::Set(d, VHProfile::kGaussianFloor)),
                              hn::Mul(m_height, hn::Exp(d, a)));
  }

 private:
  V m_inverseWidth, m_height;
};

class CPseudoVoigtShape {
 public:
  CPseudoVoigtShape(D d, double w, double eta)
      : m_gaussian(d, w, eta),
        m_lorentzian(d, w, eta),
        m_gaussianFraction(hn::Set(d, 1.0 - eta)),
        m_eta(hn::Set(d, eta)) {}
  V operator()(D d, V dx) const {
    return hn::Add(hn::Mul(m_gaussianFraction, m_gaussian(d, dx)),
                   hn::Mul(m_eta, m_lorentzian(d, dx)));
  }

 private:
  CGaussianShape m_gaussian;
  CLorentzianShape m_lorentzian;
  V m_gaussianFraction, m_eta;
};

// Adds the peaks `which` to a block of the grid: x and y hold the points from blockBegin on,
// `points` of them, a multiple of the vector length, so whole vectors never leave the block;
// lanes outside a peak's reach add nothing.
template <class Shape>
void AddToBlock(double eta, const CGridPeak* peaks, const uint32_t* which, size_t count,
                size_t blockBegin, size_t points, const double* x, double* y) {
  const D d;
  const hn::RebindToSigned<D> di;
  const size_t lanes = hn::Lanes(d);
  for (const uint32_t* p = which; p != which + count; ++p) {
    const CGridPeak& peak = peaks[*p];
    const size_t begin = std::max(peak.begin, blockBegin) - blockBegin;
    const size_t end = std::min(peak.end - blockBegin, points);
    const Shape shape(d, peak.halfWidth, eta);
    const V x1 = hn::Set(d, peak.x1), x2 = hn::Set(d, peak.x2);
    const V weight1 = hn::Set(d, peak.weight1), weight2 = hn::Set(d, peak.weight2);
    // Index vectors compare by less-than only, which every instruction set has for 64 bits.
    const auto beforeFirst = hn::Set(di, static_cast<int64_t>(begin) - 1),
               last = hn::Set(di, static_cast<int64_t>(end));
    for (size_t i = begin / lanes * lanes; i < end; i += lanes) {
      const V xi = hn::Load(d, x + i);
      V term = hn::Mul(weight1, shape(d, hn::Sub(xi, x1)));
      if (peak.doublet) term = hn::Add(term, hn::Mul(weight2, shape(d, hn::Sub(xi, x2))));
      // Only the vectors at the two ends of the reach hold points outside it.
      if (i < begin || i + lanes > end) {
        const auto index = hn::Iota(di, static_cast<int64_t>(i));
        term = hn::IfThenElseZero(
            hn::RebindMask(d, hn::And(hn::Lt(beforeFirst, index), hn::Lt(index, last))), term);
      }
      hn::Store(hn::Add(hn::Load(d, y + i), term), d, y + i);
    }
  }
}

void AddPeaksToBlock(VHTypes::TSProfileType type, double eta, const CGridPeak* peaks,
                     const uint32_t* which, size_t count, size_t blockBegin, size_t points,
                     const double* x, double* y) {
  switch (type) {
    case VHTypes::kProfileDelta:
      return AddToBlock<CDeltaShape>(eta, peaks, which, count, blockBegin, points, x, y);
    case VHTypes::kProfileLorentzian:
      return AddToBlock<CLorentzianShape>(eta, peaks, which, count, blockBegin, points, x, y);
    case VHTypes::kProfileGaussian:
      return AddToBlock<CGaussianShape>(eta, peaks, which, count, blockBegin, points, x, y);
    case VHTypes::kProfilePseudoVoigt:
      return AddToBlock<CPseudoVoigtShape>(eta, peaks, which, count, blockBegin, points, x, y);
  }
}

const char* InstructionSet() {
  return hwy::TargetName(HWY_TARGET);
}

}  // namespace HWY_NAMESPACE
}  // namespace peak_sum
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace peak_sum {
HWY_EXPORT(AddPeaksToBlock);
HWY_EXPORT(InstructionSet);

// The grid is summed in blocks small enough that x and y stay in the first-level cache while
// every peak over them is added; blocks are independent, so threads share them out.
constexpr size_t kBlockPoints = 1024;
static_assert(kBlockPoints % (HWY_MAX_BYTES / sizeof(double)) == 0, "blocks hold whole vectors");
// Below this many point evaluations a thread team costs more than it saves.
constexpr size_t kParallelWork = 200000;

// The peaks over each block, in their order: the peaks of block b are
// which[start[b]..start[b + 1] - 1].
struct CPeaksByBlock {
  std::vector<size_t> start;
  std::vector<uint32_t> which;
};

CPeaksByBlock PeaksByBlock(const std::vector<CGridPeak>& peaks, size_t blocks) {
  CPeaksByBlock byBlock{std::vector<size_t>(blocks + 1), {}};
  auto forEachBlock = [&](auto visit) {
    for (uint32_t p = 0; p < peaks.size(); ++p)
      if (peaks[p].begin < peaks[p].end)
        for (size_t b = peaks[p].begin / kBlockPoints; b <= (peaks[p].end - 1) / kBlockPoints; ++b)
          visit(p, b);
  };
  forEachBlock([&](uint32_t, size_t b) { ++byBlock.start[b + 1]; });
  for (size_t b = 0; b < blocks; ++b) byBlock.start[b + 1] += byBlock.start[b];
  byBlock.which.resize(byBlock.start[blocks]);
  std::vector<size_t> next(byBlock.start.begin(), byBlock.start.end() - 1);
  forEachBlock([&](uint32_t p, size_t b) { byBlock.which[next[b]++] = p; });
  return byBlock;
}

}  // namespace peak_sum

namespace VHProfile {

void SumPeaks(VHTypes::TSProfileType type, double eta, const std::vector<CGridPeak>& peaks,
              CProfile& grid) {
  using namespace peak_sum;
  const size_t blocks = (grid.size() + kBlockPoints - 1) / kBlockPoints;
  const CPeaksByBlock byBlock = PeaksByBlock(peaks, blocks);
  size_t work = 0;
  for (const CGridPeak& peak : peaks) work += (peak.end - peak.begin) * (peak.doublet ? 2 : 1);
  const auto add = HWY_DYNAMIC_DISPATCH(AddPeaksToBlock);
  const auto blockCount = static_cast<ptrdiff_t>(blocks);
#pragma omp parallel for schedule(dynamic, 1) if (work > kParallelWork)
  for (ptrdiff_t block = 0; block < blockCount; ++block) {
    const auto b = static_cast<size_t>(block);
    const size_t count = byBlock.start[b + 1] - byBlock.start[b];
    if (count == 0) continue;
    // The block's points side by side, padded with zeros past the end of the grid.
    HWY_ALIGN_MAX double x[kBlockPoints], y[kBlockPoints];
    const size_t first = b * kBlockPoints, points = std::min(kBlockPoints, grid.size() - first);
    for (size_t i = 0; i < points; ++i) x[i] = grid[first + i].x, y[i] = grid[first + i].y;
    std::fill(x + points, x + kBlockPoints, 0.0);
    std::fill(y + points, y + kBlockPoints, 0.0);
    add(type, eta, peaks.data(), byBlock.which.data() + byBlock.start[b], count, first,
        kBlockPoints, x, y);
    for (size_t i = 0; i < points; ++i) grid[first + i].y = y[i];
  }
}

const char* PeakSumInstructionSet() {
  return HWY_DYNAMIC_DISPATCH(peak_sum::InstructionSet)();
}

}  // namespace VHProfile

#endif  // HWY_ONCE
