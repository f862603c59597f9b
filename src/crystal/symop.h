// One symmetry operator (general equivalent position) and its text forms: the fixed
// 25-character layout, the 24-bit code of the space-group table, free-form text from files
// ("x+1/2, -y, z") and the display text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "crystal/vector.h"

class CTSSymOp {
 public:
  static constexpr uint32_t kIdentityCode = 0x000204;
  // Rotation entries closer than this count as equal.
  static constexpr double kRotationTolerance = 1.8189894035458565e-12;

  CTSSymOp();  // the identity "+x +y +z"
  // R p + t, with the fixed-layout text.
  CTSSymOp(const std::array<double, 9>& rotation, const VHTypes::CVector& translation);
  // R p + t with the text it was given, for an operator restored from a copy of itself.
  CTSSymOp(const std::array<double, 9>& rotation, const VHTypes::CVector& translation, std::string text)
      : m_rotation(rotation), m_translation(translation), m_text(std::move(text)) {}

  // Parses a free-form operator: components separated by commas (or, in text without
  // commas, by blanks); "+"/"-" sign what follows, fractions and decimals are translations,
  // x/y/z (either case) rotation terms. Returns nothing for text that is not an operator.
  static std::optional<CTSSymOp> Parse(std::string_view text);
  // The operator of a 24-bit table code (the code must name valid terms).
  static CTSSymOp FromCode(uint32_t code);

  // R p + t.
  VHTypes::CVector Apply(const VHTypes::CVector& p) const;

  // The 24-bit code, or nothing when a row or translation has no code (such as a 1/8 shift).
  std::optional<uint32_t> Code() const;
  // "%3s%-4s  %3s%-4s  %3s%-4s" with the translations and rotation terms of the code.
  std::string FixedText() const;
  // Display text: the fixed 25-character layout, or the compact comma form ("-x,1/2+y,z").
  std::string DisplayText(bool compact = false) const;

  // Operators match when their rotation parts agree entry by entry.
  bool SameRotation(const CTSSymOp& other) const;
  bool IsInversion() const;  // rotation part -I

  const std::array<double, 9>& Rotation() const { return m_rotation; }  // row-major
  const VHTypes::CVector& Translation() const { return m_translation; }
  const std::string& Text() const { return m_text; }

  void SetTranslation(const VHTypes::CVector& t) { m_translation = t; }

 private:
  std::array<double, 9> m_rotation{};
  VHTypes::CVector m_translation;
  std::string m_text;
};

// The text of a 24-bit code in the fixed layout.
std::string CodeToFixedText(uint32_t code);
