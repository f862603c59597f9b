#include "files/cif_lexer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/status_log.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
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
  bool clean = true;  // no early exit: the whole scan vectorises
  for (char c : raw) clean &= IsAllowed(c);
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

const CCifLexer::Token& CCifLexer::Peek() {
  if (!m_peeked) m_peeked = Read();
  return *m_peeked;
}

CCifLexer::Token CCifLexer::Next() {
  if (!m_peeked) return Read();
  const Token token = *m_peeked;
  m_peeked.reset();
  return token;
}

CCifLexer::Token CCifLexer::Read() {
  while (m_position < m_text.size()) {
    const char c = m_text[m_position];
    if (IsBlank(c)) {
      ++m_position;
    } else if (c == '#') {  // only reached at a line start or after white space
      while (m_position < m_text.size() && !IsLineEnd(m_text[m_position])) ++m_position;
    } else {
      break;
    }
  }
  if (m_position >= m_text.size()) return {};

  const char c = m_text[m_position];
  if (c == ';' && AtLineStart(m_position)) return ReadTextField();
  if (c == '\'' || c == '"') return ReadQuoted();

  const size_t start = m_position;
  while (m_position < m_text.size() && !IsBlank(m_text[m_position])) ++m_position;
  const std::string_view word = m_text.substr(start, m_position - start);
  if (word.front() == '_') return {Token::kItem, word};
  // Reserved words are rare: look at them only when the first letter may begin one.
  if (word.size() >= 5 && std::string_view("dDlLsSgG").find(word.front()) != std::string_view::npos) {
    if (StartsWithNoCase(word, "data_")) return {Token::kDataBlock, word.substr(5)};
    if (word.size() == 5 && StartsWithNoCase(word, "loop_")) return {Token::kLoop, word};
    if (StartsWithNoCase(word, "save_") || StartsWithNoCase(word, "global_") || StartsWithNoCase(word, "stop_"))
      return {Token::kReserved, word};
  }
  if (word == "?" || word == ".") return {Token::kValue, {}, true};
  return {Token::kValue, word};
}

CCifLexer::Token CCifLexer::ReadQuoted() {
  const char quote = m_text[m_position++];
  const size_t start = m_position;
  while (m_position < m_text.size() && !IsLineEnd(m_text[m_position])) {
    // A quote closes the value only when white space or the line end follows it.
    if (m_text[m_position] == quote && (m_position + 1 >= m_text.size() || IsBlank(m_text[m_position + 1]))) {
      const Token token{Token::kValue, m_text.substr(start, m_position - start)};
      ++m_position;
      return token;
    }
    ++m_position;
  }
  const Token token{Token::kValue, m_text.substr(start, m_position - start)};
  LogStatus("Warning: Unterminated string: '" + std::string(token.text) + "'.");
  ++m_errors;
  return token;
}

CCifLexer::Token CCifLexer::ReadTextField() {
  ++m_position;  // the opening ';'
  const size_t start = m_position;
  while (m_position < m_text.size() && !(m_text[m_position] == ';' && AtLineStart(m_position))) ++m_position;
  std::string_view body = m_text.substr(start, m_position - start);
  if (m_position < m_text.size()) ++m_position;  // the closing ';'
  // The line end before the closing ';' belongs to the delimiter, not to the text.
  if (!body.empty() && body.back() == '\n') body.remove_suffix(1);
  if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
  return {Token::kValue, body};
}
