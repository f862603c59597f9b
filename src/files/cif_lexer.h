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
  explicit CCifLexer(std::string_view text) : m_text(text) { Advance(); }

  // The token at the cursor: kEnd once the text is read. Readers take it by reference and then
  // advance: a large file has millions of tokens, not worth a copy each.
  const Token& Current() const { return m_current; }
  void Advance();

  // How much of the text the tokens up to the current one take, and how much is left.
  size_t Offset() const { return m_position; }
  size_t Remaining() const { return m_text.size() - m_position; }
  // The line of a token of this text, from 1; 0 for text from elsewhere.
  size_t LineOf(std::string_view token) const;
  // Unterminated strings met so far.
  int ErrorCount() const { return m_errors; }

 private:
  // Field by field rather than as a whole: a token written in parts and read back as a whole
  // stalls the processor on every value.
  void Set(Token::Kind kind, std::string_view text, bool unknown = false) {
    m_current.kind = kind;
    m_current.text = text;
    m_current.unknown = unknown;
  }
  bool AtLineStart(size_t position) const;
  void ReadQuoted();
  void ReadTextField();

  std::string_view m_text;
  size_t m_position = 0;
  Token m_current;
  int m_errors = 0;
};

// The text without the bytes that CIF does not allow, each logged with its code and counted
// in `errors`. Returns nothing when the text is clean (the common case), so that it need not
// be copied.
std::optional<std::string> CleanCifText(std::string_view raw, int& errors);
