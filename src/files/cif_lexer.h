// Tokens of a Crystallographic Information File (CIF 1.1 syntax): data blocks, loops, item
// names and values, with comments, quoted strings and text fields. Tokens are views into the
// text, which must outlive them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class CCifLexer {
 public:
  struct Token {
    enum Kind { kEnd, kDataBlock, kLoop, kItem, kValue, kReserved };
    Kind kind = kEnd;
    std::string_view text;  // block name for kDataBlock; the name or value otherwise
    bool unknown = false;   // the value was "?" or "." (read as empty)
  };

  // `text` must contain only tab, line feed, carriage return and printable ASCII; see
  // CleanCifText.
  explicit CCifLexer(std::string_view text) : m_text(text) {}

  Token Next();
  const Token& Peek();
  // Unterminated strings met so far.
  int ErrorCount() const { return m_errors; }

 private:
  Token Read();
  bool AtLineStart(size_t position) const;
  Token ReadQuoted();
  Token ReadTextField();

  std::string_view m_text;
  size_t m_position = 0;
  std::optional<Token> m_peeked;
  int m_errors = 0;
};

// The text without the bytes that CIF does not allow, each logged with its code and counted
// in `errors`. Returns nothing when the text is clean (the common case), so that it need not
// be copied.
std::optional<std::string> CleanCifText(std::string_view raw, int& errors);
