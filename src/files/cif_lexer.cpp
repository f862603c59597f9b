#include "files/cif_lexer.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/status_log.h"

namespace {

// The lexer reads clean text only (see CleanCifText): there the bytes below '!' are the four
// blanks, and every byte is below 0x80.
inline bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

// The end of the word at `p`: its first blank, or `end`. Values are mostly short words, so
// eight bytes are looked at a time: the lowest byte whose subtraction of '!' borrows is the
// first blank, since no byte of clean text has its top bit set.
const char* WordEnd(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kTops = 0x8080808080808080u;
    for (; end - p >= 8; p += 8) {
      uint64_t bytes;
      std::memcpy(&bytes, p, sizeof bytes);
      const uint64_t blanks = (bytes - kOnes * '!') & ~bytes & kTops;
      if (blanks != 0) return p + std::countr_zero(blanks) / 8;
    }
  }
  while (p != end && !IsBlank(*p)) ++p;
  return p;
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
inline bool IsAllowed(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return static_cast<unsigned char>(byte - 32) <= 94 || c == '\t' || c == '\n' || c == '\r';
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

}  // namespace

std::optional<std::string> CleanCifText(std::string_view raw, int& errors) {
  // Blocks of a fixed length without an exit inside, which the compiler turns into vector code
  // even at -O2; most files are clean, and this scan then costs a small part of the reading.
  constexpr size_t kBlock = 64;
  bool clean = true;
  size_t i = 0;
  for (; clean && i + kBlock <= raw.size(); i += kBlock) {
    unsigned char allowed = 1;
    for (size_t k = 0; k < kBlock; ++k) allowed &= IsAllowed(raw[i + k]);
    clean = allowed != 0;
  }
  for (; clean && i < raw.size(); ++i) clean = IsAllowed(raw[i]);
  if (clean) return std::nullopt;
  std::string text;
  text.reserve(raw.size());
  for (char c : raw) {
    if (IsAllowed(c)) {
      text += c;
      continue;
    }
    char line[80];
    std::snprintf(line, sizeof line, "Error: Illegal character in CIF file (character code 0x%02x).",
                  static_cast<unsigned char>(c));
    LogStatus(line);
    ++errors;
  }
  return text;
}

bool CCifLexer::AtLineStart(size_t position) const {
  return position == 0 || IsLineEnd(m_text[position - 1]);
}

void CCifLexer::Advance() {
  const char* const end = m_text.data() + m_text.size();
  const char* p = m_text.data() + m_position;
  for (;;) {
    while (p != end && IsBlank(*p)) ++p;
    if (p == end || *p != '#') break;  // a '#' is only reached at a line start or after white space
    while (p != end && !IsLineEnd(*p)) ++p;
  }
  m_position = static_cast<size_t>(p - m_text.data());
  if (p == end) return Set(Token::kEnd, {});

  const char c = *p;
  if (c == ';' && AtLineStart(m_position)) return ReadTextField();
  if (c == '\'' || c == '"') return ReadQuoted();

  const char* const start = p;
  p = WordEnd(p, end);
  m_position = static_cast<size_t>(p - m_text.data());
  const std::string_view word(start, static_cast<size_t>(p - start));
  if (c == '_') return Set(Token::kItem, word);
  if (word.size() == 1 && (c == '?' || c == '.')) return Set(Token::kValue, {}, true);
  // Reserved words are rare: look at them only when the first letter may begin one.
  const char lower = static_cast<char>(c | 0x20);
  if (word.size() >= 5 && (lower == 'd' || lower == 'l' || lower == 's' || lower == 'g')) {
    if (StartsWithNoCase(word, "data_")) return Set(Token::kDataBlock, word.substr(5));
    if (word.size() == 5 && StartsWithNoCase(word, "loop_")) return Set(Token::kLoop, word);
    if (StartsWithNoCase(word, "save_") || StartsWithNoCase(word, "global_") ||
        StartsWithNoCase(word, "stop_"))
      return Set(Token::kReserved, word);
  }
  Set(Token::kValue, word);
}

void CCifLexer::ReadQuoted() {
  const char quote = m_text[m_position++];
  const size_t start = m_position;
  while (m_position < m_text.size() && !IsLineEnd(m_text[m_position])) {
    // A quote closes the value only when white space or the line end follows it.
    if (m_text[m_position] == quote &&
        (m_position + 1 >= m_text.size() || IsBlank(m_text[m_position + 1]))) {
      Set(Token::kValue, m_text.substr(start, m_position - start));
      ++m_position;
      return;
    }
    ++m_position;
  }
  Set(Token::kValue, m_text.substr(start, m_position - start));
  LogStatus("Warning: Unterminated string: '" + std::string(m_current.text) + "'.");
  ++m_errors;
}

void CCifLexer::ReadTextField() {
  ++m_position;  // the opening ';'
  const size_t start = m_position;
  while (m_position < m_text.size() && !(m_text[m_position] == ';' && AtLineStart(m_position)))
    ++m_position;
  std::string_view body = m_text.substr(start, m_position - start);
  if (m_position < m_text.size()) ++m_position;  // the closing ';'
  // The line end before the closing ';' belongs to the delimiter, not to the text.
  if (!body.empty() && body.back() == '\n') body.remove_suffix(1);
  if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
  Set(Token::kValue, body);
}

size_t CCifLexer::LineOf(std::string_view token) const {
  if (token.data() < m_text.data() || token.data() > m_text.data() + m_text.size()) return 0;
  // Only asked for when reading has failed, so counting from the start costs nothing worth
  // keeping a running count for on every token.
  return 1 + static_cast<size_t>(std::count(m_text.data(), token.data(), '\n'));
}
