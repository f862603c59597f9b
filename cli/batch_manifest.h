// The manifest of a batch run: one line per finished input, appended as each finishes, so that a
// run that was killed can be resumed without computing anything twice. Its first line holds the
// run's settings: a run resumed with other ones would mix two calculations.
//
// A line is in the file as soon as it is appended, which is what a killed process leaves. Against
// a crash of the machine the lines are put on the disc at most a second apart, each time after
// the file system of the pieces they name: a line that survives a crash names a whole piece, and
// an input whose line was lost is computed again, once.
#pragma once

#include <chrono>
#include <map>
#include <string>

#include "cli/batch_record.h"

class CBatchManifest {
 public:
  // Opens the manifest at `path`. With `resume` the records of an earlier run with the same
  // `settings` are kept (a line cut short by a kill is dropped); a manifest of other settings
  // raises CUsageError. Without, or without a manifest there, it starts empty. Failures to
  // open raise CVHXFileNotOpen.
  // `pieces` is the folder of the files the lines name.
  CBatchManifest(const std::string& path, const std::string& settings, bool resume,
                 const std::string& pieces);
  ~CBatchManifest();
  CBatchManifest(const CBatchManifest&) = delete;
  CBatchManifest& operator=(const CBatchManifest&) = delete;

  // The finished inputs by index.
  const std::map<size_t, CBatchRecord>& Finished() const { return m_finished; }
  // Appends the record; puts the lines on the disc when the last time was a second ago.
  void Append(const CBatchRecord& record);
  // Puts the lines appended since the last time on the disc, the pieces first.
  void Sync();

 private:
  void Open(const std::string& path, const std::string& settings, bool resume,
            const std::string& pieces);
  void Load(const std::string& path, const std::string& header);

  std::map<size_t, CBatchRecord> m_finished;
  int m_descriptor = -1;
  int m_pieces = -1;  // the folder of the pieces, for syncing their file system
  bool m_unsynced = false;
  std::chrono::steady_clock::time_point m_synced;
};
