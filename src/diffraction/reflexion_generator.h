// The unique reflexions of a crystal: every (h k l) above a d-spacing limit that is not
// systematically absent, symmetry-equivalent reflexions merged into one with their
// multiplicity, sorted by decreasing d, each labelled by a representative index triple, and
// optionally capped in number.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

class CRadiationSpec;
class CTSCrystal;
struct CHkl;
struct CTSReflexion;

// The d-spacing limit and the optional cap on the number of reflexions of a calculation.
struct CReflexionLimits {
  double dLimit = 0.1;
  std::optional<int32_t> cap;
};

// Limits for the radiation: half the wavelength on the angle-dispersive and
// reciprocal axes, 0.1 Angstrom on the time-of-flight and energy axes, or the user's minimum
// d-spacing when that is larger; the cap when the count is restricted.
CReflexionLimits ReflexionLimits(const CRadiationSpec& radiation);

// Index bounds along the reciprocal axes for a d-spacing limit, floor(s / |a*|) and so on
// with s = 1 / dLimit, and the number of triples inside them: the estimate that the cap
// tightening works with.
struct CIndexBounds {
  int32_t h = 1, k = 1, l = 1;
  uint64_t estimate = 0;
};
CIndexBounds IndexBounds(const CTSCrystal& crystal, double dLimit);
// The bounds the search runs over: in an oblique cell a reflexion inside the limiting sphere
// can have |h| up to s |a|, beyond s / |a*|, so these reach that far as well.
CIndexBounds SearchBounds(const CTSCrystal& crystal, double dLimit);

// The d-spacing limit raised in steps of 1 % while the search would still examine far more
// triples than a cap of `cap` reflexions can use.
double CapTightenedDLimit(const CTSCrystal& crystal, double dLimit, int32_t cap);

// Replaces the crystal's reflexion list with its unique reflexions within the limits and
// reports whether there are any. The crystal's cell and operators must be up to date. Without
// a cap, more than 100000 reflexions ask the user whether to truncate. A list whose estimated
// memory exceeds the budget is refused beforehand with CVHXReflexionMemory, naming the count.
bool GenerateReflexions(CTSCrystal& crystal, const CReflexionLimits& limits);

// Whether the list within these limits would need more memory than the budget allows: the
// case GenerateReflexions refuses, with its alert, rather than building.
bool ExceedsReflexionMemoryBudget(const CTSCrystal& crystal, const CReflexionLimits& limits);
// Raises that refusal (CVHXReflexionMemory) in that case, for a caller that reports failures
// its own way.
void RefuseBeyondReflexionMemoryBudget(const CTSCrystal& crystal, const CReflexionLimits& limits);

// Whether a status-log line is the warning that a capped list was cut short, which a front end
// may follow with how to lift the cap there.
bool IsReflexionCapWarning(std::string_view line);

// The reciprocal lattice points of one half of the limiting sphere that the lattice centring
// leaves: about the number of candidates a generation examines.
double EstimatedCandidates(const CTSCrystal& crystal, double dLimit);
// The bytes a generation of that many candidates needs at most, with the cap if there is one.
double EstimatedReflexionMemory(double candidates, std::optional<int32_t> cap);

// The memory a reflexion list may take (a preference); a quarter of the machine's memory
// unless set.
double ReflexionMemoryBudget();
void SetReflexionMemoryBudget(double bytes);
// A quarter of the machine's memory.
double DefaultReflexionMemoryBudget();

// The index rule: smaller |h|, |k|, |l| in turn, then more non-negative indices, then larger
// h, k, l. False when the two are equally good.
bool IsBetterIndexTriple(const CHkl& a, const CHkl& b);

// The first reflexion of the crystal's list that is (h k l) or one of its equivalents or
// their Friedel mates; null when there is none.
std::shared_ptr<CTSReflexion> FindReflexion(const CTSCrystal& crystal, const CHkl& hkl);
