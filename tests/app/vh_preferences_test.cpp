// The framework's store: its own keys, the load order with its version checks and alerts, the
// upgrade step, and saving a group only when it changed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/memory_pref_storage.h"
#include "app/vh_preferences.h"
#include "support/recorders.h"

namespace {

template <class T>
void Store(CPrefStorage& storage, const std::string& key, const T& value) {
  std::vector<std::byte> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  storage.WriteBytes(key, bytes);
}

// A framework store of some version with two values of the application's groups.
struct CStore {
  CStore(CPrefStorage& storage, uint32_t version)
      : store(storage, version, version),
        wavelength(CVHPreferences::kGroupPreferences, "Wavelength", &store, 1.5405),
        title(CVHPreferences::kGroupWindows, "Title", &store, "none") {}
  CVHPreferences store;
  CPrefScalar<double> wavelength;
  CPrefScalar<std::string> title;
};

TEST(FrameworkPreferences, KeysInConstructionOrderAndTheirGroups) {
  CMemoryPrefStorage storage;
  const CVHPreferences store(storage, 9, 9);
  std::vector<std::string> keys;
  for (const CPrefValue* value : store.Values()) keys.push_back(value->Key());
  const std::vector<std::string> expected = {"BasePrefsVersion",
                                             "PrefsVersion",
                                             "AppVersionInt",
                                             "HarmonicOverlap",
                                             "PatternGradients",
                                             "UpdateCheckNotify",
                                             "UpdateCheckHadInternet",
                                             "UpdateCheckInterval",
                                             "UpdateCheckLastCheck",
                                             "UpdateCheckLastUpdate",
                                             "UpdateCheckLastUpgrade",
                                             "UpdateCheckAuto",
                                             "FirstLaunch",
                                             "ReleaseNotesShown",
                                             "LastVisitedFolder",
                                             "LastFileType",
                                             "CustomColors",
                                             "ToolbarVis",
                                             "ToolbarLarge",
                                             "ToolbarShowIcon",
                                             "ToolbarShowText",
                                             "ToolbarState",
                                             "HelpWinVisible",
                                             "HelpWinRect",
                                             "DontHidePalettes",
                                             "DontInitPalettes"};
  EXPECT_EQ(keys, expected);
  for (const CPrefValue* value : store.Values()) {
    SCOPED_TRACE(value->Key());
    // The framework's keys keep out of the application's groups, and every one is saved with
    // the start-up mask.
    EXPECT_FALSE(value->InGroups(CVHPreferences::kGroupPreferences | CVHPreferences::kGroupSmall |
                                 CVHPreferences::kGroupWindows));
    EXPECT_TRUE(value->InGroups(CVHPreferences::kSaveAll));
    EXPECT_EQ(value->InGroups(CVHPreferences::kLoadedGroups),
              value->Groups() != CVHPreferences::kGroupVersions);
  }
  EXPECT_EQ(store.prefsVersion.Get(), 9u);
  EXPECT_EQ(store.basePrefsVersion.Get(), 9u);
  EXPECT_EQ(store.customColors.Count(), 16u);
  EXPECT_EQ(store.Find("ToolbarVis"), &store.toolbarVis);
  EXPECT_EQ(store.Find("toolbarvis"), nullptr);
}

TEST(FrameworkPreferences, SavingWritesTheMasksGroupsOnlyWhenTheyChanged) {
  CMemoryPrefStorage storage;
  CStore s(storage, 9);
  EXPECT_TRUE(s.store.Save(CVHPreferences::kSavePreferences));
  EXPECT_EQ(storage.WriteCount(), 1u) << "group 8 holds one value";
  EXPECT_NE(storage.Find("Wavelength"), nullptr);
  EXPECT_EQ(storage.Find("Title"), nullptr);

  EXPECT_FALSE(s.store.Save(CVHPreferences::kSavePreferences));
  EXPECT_EQ(storage.WriteCount(), 1u);
  // A change in another group leaves this group's checksum alone.
  s.title.Set("changed");
  EXPECT_FALSE(s.store.Save(CVHPreferences::kSavePreferences));
  s.wavelength.Set(0.7093);
  EXPECT_TRUE(s.store.Save(CVHPreferences::kSavePreferences));
  EXPECT_EQ(storage.WriteCount(), 2u);
  // Back to a value written before is still a change from the last save.
  s.wavelength.Set(1.5405);
  EXPECT_TRUE(s.store.Save(CVHPreferences::kSavePreferences));
  EXPECT_TRUE(s.store.Save(CVHPreferences::kSavePreferences, true));
  EXPECT_EQ(storage.WriteCount(), 4u);

  // Each mask remembers its own checksum.
  EXPECT_TRUE(s.store.Save(CVHPreferences::kSaveWindows));
  EXPECT_FALSE(s.store.Save(CVHPreferences::kSaveWindows));
  const size_t before = storage.WriteCount();
  EXPECT_TRUE(s.store.Save(CVHPreferences::kSaveAll));
  EXPECT_EQ(storage.WriteCount() - before, s.store.Values().size());
}

TEST(FrameworkPreferences, LoadsEveryGroupButTheVersions) {
  CMemoryPrefStorage storage;
  Store(storage, "PrefsVersion", uint32_t{9});
  Store(storage, "AppVersionInt", uint32_t{123});
  Store(storage, "Wavelength", 0.5);
  storage.WriteText("Title", "Quartz");
  Store(storage, "ToolbarLarge", true);
  CRecordingAlertPresenter alerts;
  CStore s(storage, 9);
  s.store.Load();
  EXPECT_EQ(s.wavelength.Get(), 0.5);
  EXPECT_EQ(s.title.Get(), "Quartz");
  EXPECT_TRUE(s.store.toolbarLarge.Get());
  EXPECT_NE(s.store.appVersionInt.Get(), 123u) << "the writer's version is ours";
  EXPECT_TRUE(alerts.shown.empty());
}

TEST(FrameworkPreferences, AStoreThatCannotBeReadLoadsNothing) {
  CMemoryPrefStorage storage;
  Store(storage, "Wavelength", 0.5);
  storage.SetReadable(false);
  CRecordingAlertPresenter alerts;
  CStore s(storage, 9);
  s.store.Load();
  EXPECT_EQ(s.wavelength.Get(), 1.5405);
  EXPECT_TRUE(alerts.shown.empty());
}

TEST(FrameworkPreferences, ADamagedVersionIsADamagedLoad) {
  CMemoryPrefStorage storage;
  storage.WriteBytes("PrefsVersion", std::vector<std::byte>(2));
  Store(storage, "Wavelength", 0.5);
  CRecordingAlertPresenter alerts;
  CStore s(storage, 9);
  s.store.Load();
  EXPECT_EQ(s.wavelength.Get(), 0.5);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "Error reading preferences.");
  EXPECT_EQ(s.store.prefsVersion.Get(), 9u);
}

TEST(FrameworkPreferences, ValuesOfEarlierVersionsAreReadUnderTheirFormerKeys) {
  for (const uint32_t version : {5u, 6u}) {
    SCOPED_TRACE(version);
    CMemoryPrefStorage storage;
    Store(storage, "PrefsVersion", version);
    Store(storage, "ShowToolbar", false);
    CRecordingAlertPresenter alerts;
    CVHPreferences store(storage, version, version);
    store.Load();
    // Toolbars were switched under "ShowToolbar" before version 6.
    EXPECT_EQ(store.toolbarVis.Get(), version >= 6);
    EXPECT_TRUE(alerts.shown.empty());
  }
}

TEST(FrameworkPreferences, AFormerKeyOfTheWrongSizeFailsTheUpgrade) {
  CMemoryPrefStorage storage;
  Store(storage, "PrefsVersion", uint32_t{5});
  storage.WriteBytes("ShowToolbar", std::vector<std::byte>(4));
  CRecordingAlertPresenter alerts;
  CVHPreferences store(storage, 5, 5);
  store.Load();
  EXPECT_TRUE(store.toolbarVis.Get());
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "Error reading preferences.");
}

int g_reads = 0;

TEST(FrameworkPreferences, FlaggedValuesAreReadAgainAfterTheUpgrade) {
  CMemoryPrefStorage storage;
  Store(storage, "Once", int32_t{1});
  Store(storage, "Twice", int32_t{2});
  CVHPreferences store(storage, 9, 9);
  const auto count = [](int32_t) { ++g_reads; };
  CPrefForwarded<int32_t> once(CVHPreferences::kGroupPreferences, "Once", &store, 0, count);
  g_reads = 0;
  store.Load();
  EXPECT_EQ(g_reads, 1);
  CPrefForwarded<int32_t> twice(CVHPreferences::kGroupPreferences | CVHPreferences::kFlagReadAgain,
                                "Twice", &store, 0, count);
  g_reads = 0;
  store.Load();
  EXPECT_EQ(g_reads, 3);
  EXPECT_EQ(twice.Get(), 2);
}

TEST(FrameworkPreferences, RestoringFactoryDefaultsTouchesEveryValue) {
  CMemoryPrefStorage storage;
  CStore s(storage, 9);
  s.wavelength.Set(2.0);
  s.store.toolbarVis.Set(false);
  s.store.customColors.Set({});
  s.store.RestoreFactoryDefaults();
  EXPECT_EQ(s.wavelength.Get(), 1.5405);
  EXPECT_TRUE(s.store.toolbarVis.Get());
  EXPECT_EQ(s.store.customColors.Count(), 16u);
}

}  // namespace
