// Evaluating scattering-factor records: the factor of an atom for a reflexion under each kind
// of scattering, and the symbol form that records are looked up by.
#pragma once

#include <string>
#include <string_view>

#include "crystal/scattering_record.h"

// Which scattering a calculation uses: X-ray form factors, neutron lengths or electron factors.
enum class CScatteringKind { kXray, kNeutron, kElectron };

// The scattering factor of one atom for a reflexion of spacing d (Angstrom), times its
// occupancy; 0 for an occupancy of 0 or less. Electrons use the Mott-Bethe form with the
// program's scale constant 850.
double ScatteringFactor(const CVHASF& record, double occupancy, double d, CScatteringKind kind);
// The scattering factor of one atom of the record at s^2 = 1 / (4 d^2), given its X-ray form
// factor there (which neutrons do not need): for those who evaluate the form factors of many
// records at once.
double ScatteringFactorOf(const CVHASF& record, double xray, double s2, CScatteringKind kind);

// The X-ray form factor f(s^2) with s^2 = (sin theta / lambda)^2 = 1 / (4 d^2).
double XrayFormFactor(const CVHASF& record, double s2);

// A record symbol from typed text: at most nine characters are examined and blanks dropped.
std::string ScatteringSymbolFromText(std::string_view text);
