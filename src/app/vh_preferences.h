// The preferences store of the framework: the list of every preference in construction order,
// loading them with the version checks, saving a group only when something in it changed, and
// the framework's own keys. The application's store derives from it and adds its keys.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/pref_storage.h"
#include "app/pref_value.h"

class CVHPreferences {
 public:
  // Save-group bits and flags of a value.
  static constexpr uint16_t kGroupVersions = 1;     // read before the others, never with them
  static constexpr uint16_t kFlagReadAgain = 2;     // read once more after the upgrade step
  static constexpr uint16_t kGroupFramework = 4;    // the framework's settings and state
  static constexpr uint16_t kGroupPreferences = 8;  // the Preferences dialog and model defaults
  static constexpr uint16_t kGroupSmall = 16;       // the few values the application saves often
  static constexpr uint16_t kGroupRecent = 32;      // choices the file and colour dialogs remember
  static constexpr uint16_t kGroupWindows = 64;     // window and pane state
  static constexpr uint16_t kGroupFrameworkWindows = 128;  // toolbars and the help window
  // Masks of the save requests.
  static constexpr uint16_t kSavePreferences = 8;
  static constexpr uint16_t kSaveSmall = 48;
  static constexpr uint16_t kSaveWindows = 64;
  static constexpr uint16_t kSaveAll = 4093;
  // What a load reads after the versions: groups 4 to 2048.
  static constexpr uint16_t kLoadedGroups = 0xFFC;

  // Every value starts at its factory default; `version` and `baseVersion` are what this program
  // writes and the oldest base version it reads.
  CVHPreferences(CPrefStorage& storage, uint32_t version, uint32_t baseVersion);
  CVHPreferences(const CVHPreferences&) = delete;
  CVHPreferences& operator=(const CVHPreferences&) = delete;

  // Reads what the storage holds. Nothing when it cannot be read or was written by an older
  // version; an alert and nothing when its base version is newer than ours. Otherwise every
  // value of groups 4 to 2048 is read (a missing one keeps its default silently), then the
  // upgrade step; any damaged value makes one alert, and the values read stay.
  void Load();
  // Writes every value of the groups in `mask`, unless (without `force`) their checksum is the
  // one last written for that mask. True when it wrote.
  bool Save(uint16_t mask, bool force = false);
  void RestoreFactoryDefaults();

  const std::vector<CPrefValue*>& Values() const { return m_values; }
  // The value of a key, or null.
  CPrefValue* Find(std::string_view key) const;

 protected:
  // `value` was kept under `formerKey` before version `beforeVersion`; loading values written by
  // such a version reads it from there.
  void AddFormerKey(CPrefValue& value, std::string formerKey, uint32_t beforeVersion);

 private:
  friend class CPrefValue;
  void Join(CPrefValue& value) { m_values.push_back(&value); }
  // Reads the values under their former keys, then the values flagged to be read again; false
  // when one of them was damaged.
  bool Upgrade(uint32_t storedVersion);

  struct CFormerKey {
    CPrefValue* value;
    std::string key;
    uint32_t beforeVersion;
  };

  // Declared before the keys, which join the list as they are constructed.
  CPrefStorage& m_storage;
  std::vector<CPrefValue*> m_values;
  std::vector<CFormerKey> m_formerKeys;
  std::map<uint16_t, uint32_t> m_savedChecksums;
  uint32_t m_version;
  uint32_t m_baseVersion;

 public:
  // --- The framework's keys, in construction order ---------------------------------------------
  CPrefScalar<uint32_t> basePrefsVersion;
  CPrefScalar<uint32_t> prefsVersion;
  CPrefScalar<uint32_t> appVersionInt;  // major * 10000 + minor * 100 + patch of the writer
  CPrefScalar<bool> harmonicOverlap;
  CPrefScalar<bool> patternGradients;
  CPrefScalar<bool> updateCheckNotify;
  CPrefScalar<bool> updateCheckHadInternet;
  CPrefScalar<int32_t> updateCheckInterval;  // days
  CPrefScalar<double> updateCheckLastCheck;  // seconds since 1970, 0 for never
  CPrefScalar<double> updateCheckLastUpdate;
  CPrefScalar<double> updateCheckLastUpgrade;
  CPrefScalar<bool> updateCheckAuto;
  CPrefScalar<bool> firstLaunch;
  CPrefScalar<uint32_t> releaseNotesShown;  // the version whose notes were shown
  CPrefScalar<std::filesystem::path> lastVisitedFolder;
  CPrefScalar<uint32_t> lastFileType;
  CPrefArray<CPrefColour> customColors;
  CPrefScalar<bool> toolbarVis;
  CPrefScalar<bool> toolbarLarge;
  CPrefScalar<bool> toolbarShowIcon;
  CPrefScalar<bool> toolbarShowText;
  CPrefArray<std::byte> toolbarState;
  CPrefScalar<bool> helpWinVisible;
  CPrefScalar<CPrefRect> helpWinRect;
  CPrefScalar<bool> dontHidePalettes;
  CPrefScalar<bool> dontInitPalettes;
};
