// What a batch run knows of one finished input, as a line of its manifest and a row of its
// status table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The numbers are those of the status member of the .npz archive.
enum class CBatchStatus : int8_t { kOk = 0, kRefused = 1, kTimedOut = 2 };

struct CBatchRecord {
  size_t index = 0;  // in the run's inputs
  std::string path;
  CBatchStatus status = CBatchStatus::kOk;
  std::string message;    // the alert of a refused input
  size_t reflexions = 0;  // within the range, over its structures
  double seconds = 0.0;   // reading and calculating
  size_t warnings = 0;    // met while reading and calculating
};

// "ok", "refused", "timed out".
const char* StatusName(CBatchStatus status);

// The record as one tab-separated line with its line feed; tabs, line breaks and backslashes
// within the path and message are escaped. Numbers are written alike in every locale.
std::string RecordLine(const CBatchRecord& record);
// The record of a line RecordLine wrote (without its line feed); nothing for any other text.
std::optional<CBatchRecord> RecordOfLine(const std::string& line);

// status.tsv: a header and one row per record in the given order: path, status, reflexions,
// seconds, warnings, message. Written atomically.
void WriteStatusTable(const std::string& path, const std::vector<CBatchRecord>& records);
