// Tokens of a Crystallographic Information File (CIF 1.1 syntax): data blocks, loops, item
// names and values, with comments, quoted strings and text fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CCifLexer {
 public:
  struct Token {
    enum Kind { kEnd, kDataBlock, kLoop, kItem, kValue, kReserved };
    Kind kind = kEnd;
    std::string text;     // block name for kDataBlock; the name or value otherwise
    bool unknown = false; // the value was "?" or "." (read as empty)
  };

  // `text` must contain only tab, line feed, carriage return and printable ASCII; see
  // CleanCifText.
  explicit CCifLexer(std::string_view text) : m_text(text) {}

  Token Next();
  Token Peek();

  // Position for a look-ahead that is taken back (the pre-scan of a loop).
  size_t Position() const { return m_position; }
  void Rewind(size_t position) { m_position = position; }
  // Unterminated strings are logged once: not during a look-ahead.
  void SetLogging(bool on) { m_logging = on; }
  int ErrorCount() const { return m_errors; }

 private:
  bool AtLineStart(size_t position) const;
  Token ReadQuoted();
  Token ReadTextField();

  std::string_view m_text;
  size_t m_position = 0;
  bool m_logging = true;
  int m_errors = 0;
};

// Drops every byte that CIF does not allow, logging each with its code; `errors` counts them.
std::string CleanCifText(std::string_view raw, int& errors);
