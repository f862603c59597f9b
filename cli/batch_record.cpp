#include "cli/batch_record.h"

#include <charconv>
#include <system_error>

#include "cli/atomic_output.h"

namespace {

constexpr CBatchStatus kStatuses[] = {CBatchStatus::kOk, CBatchStatus::kRefused,
                                      CBatchStatus::kTimedOut};
constexpr size_t kFields = 7;

std::string Escaped(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::optional<std::string> Unescaped(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      plain += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        plain += '\\';
        break;
      case 't':
        plain += '\t';
        break;
      case 'n':
        plain += '\n';
        break;
      case 'r':
        plain += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return plain;
}

std::string Seconds(double seconds) {
  char text[32];
  const auto end =
      std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3).ptr;
  return std::string(text, end);
}

template <class T>
bool Parse(const std::string& text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == '\t')
      fields.emplace_back();
    else
      fields.back().push_back(c);
  }
  return fields;
}

}  // namespace

const char* StatusName(CBatchStatus status) {
  switch (status) {
    case CBatchStatus::kOk:
      return "ok";
    case CBatchStatus::kRefused:
      return "refused";
    case CBatchStatus::kTimedOut:
      return "timed out";
  }
  return "?";
}

std::string RecordLine(const CBatchRecord& r) {
  return std::to_string(r.index) + '\t' + StatusName(r.status) + '\t' +
         std::to_string(r.reflexions) + '\t' + Seconds(r.seconds) + '\t' +
         std::to_string(r.warnings) + '\t' + Escaped(r.path) + '\t' + Escaped(r.message) + '\n';
}

std::optional<CBatchRecord> RecordOfLine(const std::string& line) {
  const std::vector<std::string> fields = Fields(line);
  if (fields.size() != kFields) return std::nullopt;
  CBatchRecord record;
  bool known = false;
  for (const CBatchStatus status : kStatuses)
    if (fields[1] == StatusName(status)) {
      record.status = status;
      known = true;
    }
  std::optional<std::string> path = Unescaped(fields[5]);
  std::optional<std::string> message = Unescaped(fields[6]);
  if (!known || !path || !message || !Parse(fields[0], record.index) ||
      !Parse(fields[2], record.reflexions) || !Parse(fields[3], record.seconds) ||
      !Parse(fields[4], record.warnings))
    return std::nullopt;
  record.path = std::move(*path);
  record.message = std::move(*message);
  return record;
}

void WriteStatusTable(const std::string& path, const std::vector<CBatchRecord>& records) {
  CAtomicOutput table(path);
  table.Write("path\tstatus\treflexions\tseconds\twarnings\tmessage\n");
  for (const CBatchRecord& r : records)
    table.Write(Escaped(r.path) + '\t' + StatusName(r.status) + '\t' +
                std::to_string(r.reflexions) + '\t' + Seconds(r.seconds) + '\t' +
                std::to_string(r.warnings) + '\t' + Escaped(r.message) + '\n');
  table.Commit();
}
