// The manifest of a batch run: one line per finished input, appended and put on the disc as each
// finishes, so that a run that was killed can be resumed without computing anything twice. Its
// first line holds the run's settings: a run resumed with other ones would mix two calculations.
#pragma once

#include <map>
#include <string>

#include "cli/batch_record.h"

class CBatchManifest {
 public:
  // Opens the manifest at `path`. With `resume` the records of an earlier run with the same
  // `settings` are kept (a line cut short by a kill is dropped); a manifest of other settings
  // raises CUsageError. Without, or without a manifest there, it starts empty. Failures to
  // open raise CVHXFileNotOpen.
  CBatchManifest(const std::string& path, const std::string& settings, bool resume);
  ~CBatchManifest();
  CBatchManifest(const CBatchManifest&) = delete;
  CBatchManifest& operator=(const CBatchManifest&) = delete;

  // The finished inputs by index.
  const std::map<size_t, CBatchRecord>& Finished() const { return m_finished; }
  // Appends the record and waits until it is on the disc.
  void Append(const CBatchRecord& record);

 private:
  void Load(const std::string& path, const std::string& header);

  std::map<size_t, CBatchRecord> m_finished;
  int m_descriptor = -1;
};
