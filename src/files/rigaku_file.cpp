#include "files/rigaku_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "app/status.h"
#include "errors/exceptions.h"
#include "files/number_text.h"
#include "files/observed_files.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSRigakuFile::kTypeId}, &CTSRigakuFile::Recognise,
                                       &CTessFile::Make<CTSRigakuFile>);

// Data lines carry many intensities; a line that fills the buffer may have lost some of them.
constexpr size_t kLineSize = 0x10000;
// Headers of real files run to about a hundred lines.
constexpr size_t kProbeLines = 500;

// The four header keywords come first, so that they index the flags of those seen.
enum CKeyword { kCount, kStart, kStep, kStop, kDataEnd, kEndOfFile, kOtherKeyword, kNoKeyword };
using CSeenKeywords = std::array<bool, kStop + 1>;

bool IsHeaderKeyword(CKeyword keyword) {
  return keyword <= kStop;
}
bool AllSeen(const CSeenKeywords& seen) {
  return std::ranges::all_of(seen, [](bool s) { return s; });
}

struct CKeywordName {
  std::string_view name;
  CKeyword keyword;
};
constexpr CKeywordName kKeywords[] = {{"*COUNT", kCount}, {"*START", kStart}, {"*STEP", kStep},
                                      {"*STOP", kStop},   {"*END", kDataEnd}, {"*EOF", kEndOfFile}};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}
bool IsSeparator(char c) {
  return IsBlank(c) || c == ',';
}
bool AtValueEnd(const char* text) {
  return *text == '\0' || IsSeparator(*text);
}

bool SameWithoutCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char c = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

// The keyword a line starts with, and the text after it and an optional "=".
struct CKeywordLine {
  CKeyword keyword = kNoKeyword;
  const char* value = nullptr;
};

CKeywordLine KeywordLine(const char* line) {
  while (IsBlank(*line)) ++line;
  if (*line != '*') return {kNoKeyword, line};
  const char* end = line;
  while (*end != '\0' && !IsBlank(*end) && *end != '=') ++end;
  const std::string_view name(line, static_cast<size_t>(end - line));
  CKeywordLine result{kOtherKeyword, end};
  for (const CKeywordName& known : kKeywords)
    if (SameWithoutCase(name, known.name)) result.keyword = known.keyword;
  while (IsBlank(*result.value)) ++result.value;
  if (*result.value == '=') ++result.value;
  while (IsBlank(*result.value)) ++result.value;
  return result;
}

std::optional<double> NumberValue(const char* text) {
  double value = 0.0;
  if (!ScanNumber(text, value) || !AtValueEnd(text)) return std::nullopt;
  return value;
}

std::optional<int32_t> CountValue(const char* text) {
  while (IsBlank(*text)) ++text;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE || !AtValueEnd(end) || value < 1 || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

struct CHeader {
  int32_t count = 0;
  double start = 0.0;
  double step = 0.0;
  double stop = 0.0;
};

// The lines of a file, one at a time.
class CLines {
 public:
  explicit CLines(CTSRigakuFile& file) : m_file(file), m_line(kLineSize) {}
  // Reads the next line; false at the end of the data.
  bool Next() {
    const long stored = m_file.ReadLine(m_line.data(), m_line.size());
    m_length = stored < 0 ? 0 : static_cast<size_t>(stored);
    return stored >= 0;
  }
  const char* Text() const { return m_line.data(); }
  // The line filled the buffer, so its end may be missing.
  bool Filled() const { return m_length + 1 == m_line.size(); }

 private:
  CTSRigakuFile& m_file;
  std::vector<char> m_line;
  size_t m_length = 0;
};

CHeader ReadHeader(CLines& lines) {
  CHeader header;
  CSeenKeywords seen{};
  while (!AllSeen(seen)) {
    if (!lines.Next()) throw CVHXFileRigakuDataset();
    const CKeywordLine keywordLine = KeywordLine(lines.Text());
    const CKeyword keyword = keywordLine.keyword;
    if (!IsHeaderKeyword(keyword)) continue;
    const char* value = keywordLine.value;
    // A keyword alone on its line has its value on the next; another keyword there is no value.
    if (*value == '\0') {
      if (!lines.Next()) throw CVHXFileRigakuDataset();
      const CKeywordLine next = KeywordLine(lines.Text());
      value = next.keyword == kNoKeyword ? next.value : "";
    }
    seen[keyword] = true;
    if (keyword == kCount) {
      const std::optional<int32_t> count = CountValue(value);
      if (!count) throw CVHXFileRigakuBadCount();
      header.count = *count;
      continue;
    }
    const std::optional<double> number = NumberValue(value);
    if (keyword == kStart && !number) throw CVHXFileRigakuBadStart();
    if (keyword == kStep && !number) throw CVHXFileRigakuBadStep();
    if (keyword == kStop && !number) throw CVHXFileRigakuBadStop();
    (keyword == kStart ? header.start : keyword == kStep ? header.step : header.stop) = *number;
  }
  return header;
}

void CheckRange(const CHeader& header) {
  if (header.step == 0.0 || header.start == header.stop) throw CVHXFileRigakuBadRange();
  // std::round takes halves away from zero; compared as doubles, so that no quotient can
  // overflow an integer.
  const double intervals = std::round((header.stop - header.start) / header.step);
  if (static_cast<double>(header.count) != intervals + 1.0) throw CVHXFileRigakuBadRange();
}

}  // namespace

unsigned CTSRigakuFile::Recognise(const std::string& path) {
  CTSRigakuFile file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  CLines lines(file);
  CSeenKeywords seen{};
  for (size_t count = 0; count < kProbeLines && lines.Next(); ++count) {
    const CKeyword keyword = KeywordLine(lines.Text()).keyword;
    if (keyword == kDataEnd || keyword == kEndOfFile) break;
    if (IsHeaderKeyword(keyword)) seen[keyword] = true;
  }
  return AllSeen(seen) ? kTypeId : 0;
}

void CTSRigakuFile::ReadObservedData(CObservedData& data) {
  CStatus status("Reading data from file...");
  CLines lines(*this);
  const CHeader header = ReadHeader(lines);
  CheckRange(header);
  const auto count = static_cast<size_t>(header.count);
  CObservedData read;
  while (lines.Next()) {
    const CKeywordLine keywordLine = KeywordLine(lines.Text());
    if (keywordLine.keyword == kDataEnd || keywordLine.keyword == kEndOfFile) break;
    // Further header lines (*SPEED, *BEGIN and the like) may stand before the intensities.
    if (keywordLine.keyword != kNoKeyword) continue;
    if (lines.Filled()) throw CVHXFileRigakuBadYValue();
    for (const char* text = keywordLine.value;;) {
      while (IsSeparator(*text)) ++text;
      if (*text == '\0') break;
      double y = 0.0;
      if (!ScanNumber(text, y) || !AtValueEnd(text)) throw CVHXFileRigakuBadYValue();
      if (read.points.size() == count) throw CVHXFileRigakuBadRange();
      read.points.push_back({header.start + static_cast<double>(read.points.size()) * header.step, y});
    }
  }
  if (read.points.size() < count) throw CVHXFileRigakuBadYValue();
  data = std::move(read);
}
