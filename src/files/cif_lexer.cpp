#include "files/cif_lexer.h"

#include <cctype>
#include <cstdio>

#include "app/status_log.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

}  // namespace

std::string CleanCifText(std::string_view raw, int& errors) {
  std::string clean;
  clean.reserve(raw.size());
  for (char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r' || (byte >= 32 && byte <= 126)) {
      clean += c;
      continue;
    }
    char line[80];
    std::snprintf(line, sizeof line, "Error: Illegal character in CIF file (character code 0x%02x).", byte);
    LogStatus(line);
    ++errors;
  }
  return clean;
}

bool CCifLexer::AtLineStart(size_t position) const {
  return position == 0 || IsLineEnd(m_text[position - 1]);
}

CCifLexer::Token CCifLexer::Peek() {
  const size_t position = m_position;
  const bool logging = m_logging;
  m_logging = false;
  Token token = Next();
  m_position = position;
  m_logging = logging;
  return token;
}

CCifLexer::Token CCifLexer::Next() {
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
  Token token;
  token.text = std::string(word);
  if (word.front() == '_') {
    token.kind = Token::kItem;
  } else if (StartsWithNoCase(word, "data_")) {
    token.kind = Token::kDataBlock;
    token.text = std::string(word.substr(5));
  } else if (StartsWithNoCase(word, "loop_") && word.size() == 5) {
    token.kind = Token::kLoop;
  } else if (StartsWithNoCase(word, "save_") || StartsWithNoCase(word, "global_") ||
             StartsWithNoCase(word, "stop_")) {
    token.kind = Token::kReserved;
  } else {
    token.kind = Token::kValue;
    if (word == "?" || word == ".") {
      token.unknown = true;
      token.text.clear();
    }
  }
  return token;
}

CCifLexer::Token CCifLexer::ReadQuoted() {
  const char quote = m_text[m_position++];
  const size_t start = m_position;
  while (m_position < m_text.size() && !IsLineEnd(m_text[m_position])) {
    // A quote closes the value only when white space or the line end follows it.
    if (m_text[m_position] == quote &&
        (m_position + 1 >= m_text.size() || IsBlank(m_text[m_position + 1]))) {
      Token token{Token::kValue, std::string(m_text.substr(start, m_position - start)), false};
      ++m_position;
      return token;
    }
    ++m_position;
  }
  Token token{Token::kValue, std::string(m_text.substr(start, m_position - start)), false};
  if (m_logging) {
    LogStatus("Warning: Unterminated string: '" + token.text + "'.");
    ++m_errors;
  }
  return token;
}

CCifLexer::Token CCifLexer::ReadTextField() {
  ++m_position;  // the opening ';'
  const size_t start = m_position;
  while (m_position < m_text.size() && !(m_text[m_position] == ';' && AtLineStart(m_position)))
    ++m_position;
  std::string_view body = m_text.substr(start, m_position - start);
  if (m_position < m_text.size()) ++m_position;  // the closing ';'
  // The line end before the closing ';' belongs to the delimiter, not to the text.
  if (!body.empty() && body.back() == '\n') body.remove_suffix(1);
  if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
  return {Token::kValue, std::string(body), false};
}
