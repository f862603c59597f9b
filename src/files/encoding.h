// Conversions of the character sets met in files into the core's UTF-8 strings.
#pragma once

#include <string>
#include <string_view>

// UTF-16 code units to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string UTF16ToUTF8(std::u16string_view text);

// Bytes that should be UTF-8, with every malformed sequence (and every encoded surrogate or
// overlong form) replaced by U+FFFD, so that the rest of the program only ever sees valid text.
std::string ValidUTF8(std::string_view bytes);

// Bytes in the Macintosh Roman character set (labels and symbols of files from the Mac edition).
std::string MacRomanToUTF8(std::string_view bytes);
// UTF-8 text in the Macintosh Roman character set, for files read by the Mac edition; a
// character the set lacks becomes "?".
std::string UTF8ToMacRoman(std::string_view text);
