// The QSettings storage: what it writes where, reading back in a new storage, and the statuses
// of values that are not what a preference expects.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui/settings_storage.h"
#include "preferences/preferences.h"
#include "support/recorders.h"

namespace {

// No test of this program may reach the user's own settings: every QSettings of the process
// keeps its files in a folder of its own, removed at the end.
class CScratchSettings : public testing::Environment {
 public:
  static const std::filesystem::path& Folder() {
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("tessaline-settings-" + std::to_string(::getpid()));
    return folder;
  }

  void SetUp() override {
    std::filesystem::create_directories(Folder());
    ::setenv("XDG_CONFIG_HOME", Folder().c_str(), 1);
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
      QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(Folder().string()));
  }
  void TearDown() override { std::filesystem::remove_all(Folder()); }
};

const testing::Environment* const kScratchSettings =
    testing::AddGlobalTestEnvironment(new CScratchSettings);

std::filesystem::path SettingsFile() {
  return CScratchSettings::Folder() / "VarnholtWerk Software" / "Tessaline.conf";
}

// Each test starts from no settings at all.
class QtSettingsStorage : public testing::Test {
 protected:
  void SetUp() override { std::filesystem::remove(SettingsFile()); }
  void TearDown() override { std::filesystem::remove(SettingsFile()); }
};

TEST_F(QtSettingsStorage, WritesUnderThePreferencesGroupOfTheUsersFile) {
  {
    CQtSettingsStorage storage;
    CPrefScalar<double> lambda(8, "Lambda", nullptr, 1.78897);
    CPrefScalar<std::string> font(8, "FontName", nullptr, "DejaVu Sans");
    lambda.Write(storage);
    font.Write(storage);
  }
  ASSERT_TRUE(std::filesystem::exists(SettingsFile()));
  std::ifstream file(SettingsFile());
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_NE(text.str().find("[Preferences]"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("FontName=DejaVu Sans"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("Lambda=@ByteArray("), std::string::npos) << text.str();

  // Another storage, as the next run of the program would make, reads them back.
  const CQtSettingsStorage again;
  CPrefScalar<double> lambda(8, "Lambda", nullptr, 1.5405);
  CPrefScalar<std::string> font(8, "FontName", nullptr, "MS Shell Dlg 2");
  EXPECT_EQ(lambda.Read(again), kPrefRead);
  EXPECT_EQ(lambda.Get(), 1.78897);
  EXPECT_EQ(font.Read(again), kPrefRead);
  EXPECT_EQ(font.Get(), "DejaVu Sans");
}

TEST_F(QtSettingsStorage, StatusesOfValuesThatDoNotFit) {
  {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QStringLiteral("VarnholtWerk Software"), QStringLiteral("Tessaline"));
    settings.setValue(QStringLiteral("Preferences/Lambda"), QByteArray(4, '\1'));
    settings.setValue(QStringLiteral("Preferences/AsText"), QStringLiteral("1.5"));
    settings.setValue(QStringLiteral("Preferences/Cut"), QString::fromUtf16(u"ab\0cd", 5));
    settings.setValue(QStringLiteral("Preferences/Bytes"), QByteArray("abc"));
  }
  const CQtSettingsStorage storage;
  ASSERT_TRUE(storage.IsReadable());
  CPrefScalar<double> lambda(8, "Lambda", nullptr, 1.5405);
  EXPECT_EQ(lambda.Read(storage), kPrefWrongSize);
  EXPECT_EQ(lambda.Get(), 1.5405);
  CPrefScalar<double> asText(8, "AsText", nullptr, 2.0);
  EXPECT_EQ(asText.Read(storage), kPrefWrongSize);
  CPrefScalar<std::string> cut(8, "Cut", nullptr, "kept");
  EXPECT_EQ(cut.Read(storage), kPrefLengthMismatch);
  EXPECT_EQ(cut.Get(), "kept");
  CPrefScalar<std::string> bytes(8, "Bytes", nullptr, "kept");
  EXPECT_EQ(bytes.Read(storage), kPrefMissing);
  CPrefScalar<bool> absent(8, "Absent", nullptr, true);
  EXPECT_EQ(absent.Read(storage), kPrefMissing);
  // Arrays round-trip as bytes too.
  CPrefArray<CPrefColour> colours(32, "Colours", nullptr, {{1}, {2}, {3}});
  {
    CQtSettingsStorage writer;
    colours.Write(writer);
  }
  CPrefArray<CPrefColour> reread(32, "Colours", nullptr, {});
  EXPECT_EQ(reread.Read(CQtSettingsStorage()), kPrefRead);
  EXPECT_EQ(reread.Get(), colours.Get());
}

TEST_F(QtSettingsStorage, AWholeStoreRoundTripsAndAShortLambdaIsReported) {
  {
    CQtSettingsStorage storage;
    CPreferences preferences(storage);
    preferences.eta.Set(0.35);
    preferences.mainFrameRect.Set({1, 2, 3, 4});
    preferences.Save(CPreferences::kSaveAll);
  }
  {
    CQtSettingsStorage storage;
    CRecordingAlertPresenter alerts;
    const CPreferences preferences(storage);
    EXPECT_EQ(preferences.eta.Get(), 0.35);
    EXPECT_EQ(preferences.mainFrameRect.Get(), (CPrefRect{1, 2, 3, 4}));
    EXPECT_TRUE(alerts.shown.empty());
    storage.WriteBytes("Lambda", std::vector<std::byte>(4));
  }
  CQtSettingsStorage storage;
  CRecordingAlertPresenter alerts;
  const CPreferences preferences(storage);
  EXPECT_EQ(preferences.lambda.Get(), 1.5405);
  EXPECT_EQ(preferences.eta.Get(), 0.35);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "Error reading preferences.");
}

}  // namespace
