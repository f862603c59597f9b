// The application-wide table of scattering-factor records and the matching of atoms to it.
// The table is shared by the user interface and the calculations, so every access holds its
// lock; it will live in the preferences store under the key "ASF".
#pragma once

#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "diffraction/asf.h"

struct CTSAtom;

class CScatteringFactorTable {
 public:
  // The process-wide table, holding the built-in records until replaced.
  static CScatteringFactorTable& Instance();

  CScatteringFactorTable();

  std::vector<CVHASF> Records() const;
  // The first record whose symbol equals `symbol` (case-sensitive, first nine characters).
  std::optional<CVHASF> Find(std::string_view symbol) const;
  void Install(std::vector<CVHASF> records);
  void RestoreBuiltIn();

 private:
  mutable std::mutex m_lock;
  std::vector<CVHASF> m_records;
};

// The 103 built-in records, in table order.
std::vector<CVHASF> BuiltInScatteringFactors();
// The record given to an atom whose symbol matches nothing: silicon's valence fit.
const CVHASF& FallbackScatteringFactor();

// The table symbol for an atom type as files write it: the type itself when the table has it
// ("D", "OH"); an ion in the table's spelling when the table has that ion ("Li1+" -> "Li+1",
// "H1-" -> "H-1"); otherwise its element ("Fe3+" -> "Fe", "O2-" -> "O", "CA" -> "Ca").
// Text naming no element is returned as it stands, so that matching reports it.
std::string AtomSymbolForType(std::string_view type);

// Copies the table's record for the atom's symbol into the atom. With no match the atom gets
// the fallback record and CVHXUnableToMatchScattering is reported (reading goes on); returns
// whether a record matched.
bool MatchScatteringFactor(CTSAtom& atom);

// Matching for readers of large files: each symbol is looked up (and, when unknown, reported)
// once, however many atoms carry it.
class CScatteringMatcher {
 public:
  bool Match(CTSAtom& atom);

 private:
  std::unordered_map<std::string, std::optional<CVHASF>> m_records;
};
