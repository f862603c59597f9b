#include "diffraction/scattering_table.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "crystal/crystal.h"
#include "errors/exceptions.h"
#include "resources/asf_table.h"
#include "resources/elements.h"

namespace {

std::string_view FirstCharacters(std::string_view symbol) {
  return symbol.substr(0, CVHASF::kMaxSymbolLength);
}

}  // namespace

CScatteringFactorTable& CScatteringFactorTable::Instance() {
  static CScatteringFactorTable table;
  return table;
}

CScatteringFactorTable::CScatteringFactorTable() : m_records(BuiltInScatteringFactors()) {}

std::vector<CVHASF> CScatteringFactorTable::Records() const {
  std::lock_guard lock(m_lock);
  return m_records;
}

std::optional<CVHASF> CScatteringFactorTable::Find(std::string_view symbol) const {
  std::lock_guard lock(m_lock);
  for (const CVHASF& record : m_records)
    if (FirstCharacters(record.symbol) == FirstCharacters(symbol)) return record;
  return std::nullopt;
}

void CScatteringFactorTable::Install(std::vector<CVHASF> records) {
  std::lock_guard lock(m_lock);
  m_records = std::move(records);
}

void CScatteringFactorTable::RestoreBuiltIn() { Install(BuiltInScatteringFactors()); }

std::vector<CVHASF> BuiltInScatteringFactors() {
  std::vector<CVHASF> records;
  for (const CBuiltInScatteringFactor& built : BuiltInScatteringFactorRecords()) {
    CVHASF record;
    record.symbol = built.symbol;
    record.z = built.z;
    record.w = built.w;
    for (size_t i = 0; i < record.f.size(); ++i) record.f[i] = built.f[i];
    record.b = built.b;
    record.notes = built.notes;
    records.push_back(std::move(record));
  }
  return records;
}

const CVHASF& FallbackScatteringFactor() {
  static const CVHASF silicon = [] {
    CVHASF record;
    record.symbol = "Si";
    record.z = 14;
    record.w = 28.0855;
    record.f = {5.66269, 2.6652, 3.07164, 38.6634, 2.62446, 0.916946, 1.3932, 93.5458, 1.24707};
    record.b = 4.1491;
    return record;
  }();
  return silicon;
}

std::string AtomSymbolForType(std::string_view type) {
  const CScatteringFactorTable& table = CScatteringFactorTable::Instance();
  if (table.Find(type)) return std::string(type);
  const CElement* element = LeadingElement(type);
  if (!element) return std::string(type);
  // What follows the element may be a charge, "2+", "+2" or "+", naming an ion of the table.
  const std::string_view charge = type.substr(std::strlen(element->symbol));
  const size_t sign = charge.find_first_of("+-");
  const bool isCharge = sign != std::string_view::npos && charge.find_first_of("+-", sign + 1) == std::string_view::npos &&
                        std::all_of(charge.begin(), charge.end(), [](char c) {
                          return c == '+' || c == '-' || std::isdigit(static_cast<unsigned char>(c));
                        });
  if (isCharge) {
    std::string digits;
    for (char c : charge)
      if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    const std::string ion = element->symbol + std::string(1, charge[sign]) + (digits.empty() ? "1" : digits);
    if (table.Find(ion)) return ion;
  }
  return element->symbol;
}

bool MatchScatteringFactor(CTSAtom& atom) {
  if (std::optional<CVHASF> record = CScatteringFactorTable::Instance().Find(atom.symbol)) {
    atom.scattering = std::move(*record);
    return true;
  }
  atom.scattering = FallbackScatteringFactor();
  CVHXUnableToMatchScattering(kSeverityMessage).Report();
  return false;
}

bool CScatteringMatcher::Match(CTSAtom& atom) {
  auto found = m_records.find(atom.symbol);
  if (found == m_records.end()) {
    found = m_records.emplace(atom.symbol, CScatteringFactorTable::Instance().Find(atom.symbol)).first;
    if (!found->second) CVHXUnableToMatchScattering(kSeverityMessage).Report();
  }
  atom.scattering = found->second ? *found->second : FallbackScatteringFactor();
  return found->second.has_value();
}
