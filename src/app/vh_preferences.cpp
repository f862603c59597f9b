#include "app/vh_preferences.h"

#include <charconv>

#include "app/crc32.h"
#include "errors/exceptions.h"

namespace {

// Toolbars were switched under this key before version 6.
constexpr uint32_t kToolbarKeyChange = 6;
// The colour dialog keeps sixteen custom colours.
constexpr size_t kCustomColours = 16;

// "1.2.3" as 10203; parts that are not numbers count 0.
uint32_t VersionNumber(std::string_view dotted) {
  uint32_t number = 0;
  for (int part = 0; part < 3; ++part) {
    const size_t dot = dotted.find('.');
    const std::string_view digits = dotted.substr(0, dot);
    uint32_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    number = number * 100 + value;
    dotted = dot == std::string_view::npos ? std::string_view() : dotted.substr(dot + 1);
  }
  return number;
}

// Read, or kept at its default because it was never stored.
bool IsDamaged(CPrefStatus status) {
  return status != kPrefRead && status != kPrefMissing;
}

}  // namespace

CVHPreferences::CVHPreferences(CPrefStorage& storage, uint32_t version, uint32_t baseVersion)
    : m_storage(storage),
      m_version(version),
      m_baseVersion(baseVersion),
      basePrefsVersion(kGroupVersions, "BasePrefsVersion", this, baseVersion),
      prefsVersion(kGroupVersions, "PrefsVersion", this, version),
      appVersionInt(kGroupVersions, "AppVersionInt", this, VersionNumber(TESSALINE_VERSION)),
      harmonicOverlap(kGroupFramework, "HarmonicOverlap", this, false),
      patternGradients(kGroupFramework, "PatternGradients", this, false),
      updateCheckNotify(kGroupFramework, "UpdateCheckNotify", this, true),
      updateCheckHadInternet(kGroupFramework, "UpdateCheckHadInternet", this, false),
      updateCheckInterval(kGroupFramework, "UpdateCheckInterval", this, 7),
      updateCheckLastCheck(kGroupFramework, "UpdateCheckLastCheck", this, 0.0),
      updateCheckLastUpdate(kGroupFramework, "UpdateCheckLastUpdate", this, 0.0),
      updateCheckLastUpgrade(kGroupFramework, "UpdateCheckLastUpgrade", this, 0.0),
      updateCheckAuto(kGroupFramework, "UpdateCheckAuto", this, true),
      firstLaunch(kGroupFramework, "FirstLaunch", this, true),
      releaseNotesShown(kGroupFramework, "ReleaseNotesShown", this, 0),
      lastVisitedFolder(kGroupRecent, "LastVisitedFolder", this, {}),
      lastFileType(kGroupRecent, "LastFileType", this, 0),
      customColors(kGroupRecent, "CustomColors", this,
                   std::vector<CPrefColour>(kCustomColours, CPrefColour{0xFFFFFFFF})),
      toolbarVis(kGroupFrameworkWindows, "ToolbarVis", this, true),
      toolbarLarge(kGroupFrameworkWindows, "ToolbarLarge", this, false),
      toolbarShowIcon(kGroupFrameworkWindows, "ToolbarShowIcon", this, true),
      toolbarShowText(kGroupFrameworkWindows, "ToolbarShowText", this, false),
      toolbarState(kGroupFrameworkWindows, "ToolbarState", this, {}),
      helpWinVisible(kGroupFrameworkWindows, "HelpWinVisible", this, false),
      helpWinRect(kGroupFrameworkWindows, "HelpWinRect", this, {}),
      dontHidePalettes(kGroupFramework, "DontHidePalettes", this, false),
      dontInitPalettes(kGroupFramework, "DontInitPalettes", this, false) {
  AddFormerKey(toolbarVis, "ShowToolbar", kToolbarKeyChange);
}

void CVHPreferences::AddFormerKey(CPrefValue& value, std::string formerKey,
                                  uint32_t beforeVersion) {
  m_formerKeys.push_back({&value, std::move(formerKey), beforeVersion});
}

CPrefValue* CVHPreferences::Find(std::string_view key) const {
  for (CPrefValue* value : m_values)
    if (value->Key() == key) return value;
  return nullptr;
}

void CVHPreferences::Load() {
  if (!m_storage.IsReadable()) return;
  // The versions are read into values of their own: ours keep saying what this program writes.
  CPrefScalar<uint32_t> stored(0, prefsVersion.Key(), nullptr, m_version);
  bool damaged = IsDamaged(stored.Read(m_storage));
  if (m_version > stored.Get()) return;
  CPrefScalar<uint32_t> storedBase(0, basePrefsVersion.Key(), nullptr, m_baseVersion);
  if (storedBase.Read(m_storage) == kPrefRead && storedBase.Get() > m_baseVersion) {
    CVHXBadPrefsVersion(kSeverityMessage).Report();
    return;
  }
  for (CPrefValue* value : m_values)
    if (value->InGroups(kLoadedGroups)) damaged |= IsDamaged(value->Read(m_storage));
  const bool upgraded = Upgrade(stored.Get());
  if (damaged || !upgraded) CVHXBadPrefs(kSeverityMessage).Report();
}

bool CVHPreferences::Upgrade(uint32_t storedVersion) {
  bool upgraded = true;
  for (const CFormerKey& former : m_formerKeys)
    if (storedVersion < former.beforeVersion)
      upgraded &= !IsDamaged(former.value->ReadFrom(m_storage, former.key));
  for (CPrefValue* value : m_values)
    if (value->InGroups(kFlagReadAgain)) upgraded &= !IsDamaged(value->Read(m_storage));
  return upgraded;
}

bool CVHPreferences::Save(uint16_t mask, bool force) {
  uint32_t crc = CCRC32::kInitial;
  for (const CPrefValue* value : m_values)
    if (value->InGroups(mask)) crc = value->UpdateChecksum(crc);
  crc = ~crc;
  if (!force) {
    const auto saved = m_savedChecksums.find(mask);
    if (saved != m_savedChecksums.end() && saved->second == crc) return false;
  }
  m_savedChecksums[mask] = crc;
  for (const CPrefValue* value : m_values)
    if (value->InGroups(mask)) value->Write(m_storage);
  return true;
}

void CVHPreferences::RestoreFactoryDefaults() {
  for (CPrefValue* value : m_values) value->RestoreDefault();
}
