// The scattering-factor table as the preference "ASF". The process-wide table is the value
// itself: reading the preference installs the stored records in the table, and saving takes
// them from it, so the table's window and the calculations never see a stale copy.
#pragma once

#include "app/pref_value.h"
#include "diffraction/asf.h"

// A record as its fields in order: the symbol and the notes as a 32-bit length and their bytes,
// the numbers as their own bytes.
template <>
struct CPrefElementCodec<CVHASF> {
  static constexpr const char* kName = "scattering-factor record";

  static void Append(std::vector<std::byte>& bytes, const CVHASF& record);
  static bool Take(std::span<const std::byte>& bytes, CVHASF& record);
};

class CPrefScatteringFactors final : public CPrefArray<CVHASF> {
 public:
  // Key "ASF"; the factory default is the built-in table.
  CPrefScatteringFactors(uint16_t groups, CVHPreferences* owner);

  CElements Get() const override;
  void Set(CElements records) override;
};
