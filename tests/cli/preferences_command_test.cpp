// The preferences command and --use-preferences, through the program itself: each run is a
// process of its own, as a user's would be, with its settings in a scratch folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

struct CRun {
  int status;
  std::string out;
  std::string err;
};

class PreferencesCommand : public testing::Test {
 protected:
  // Runs the program in the scratch folder, with the configuration folder (and home) there.
  CRun Run(const std::string& arguments) const {
    const std::string folder = m_folder.Path().string();
    const std::string line = "cd '" + folder + "' && HOME='" + folder + "' XDG_CONFIG_HOME='" +
                             folder + "/config' '" + TESSALINE_CLI + "' " + arguments +
                             " > out.txt 2> err.txt";
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(m_folder / "out.txt"),
            ReadWholeFile(m_folder / "err.txt")};
  }
  std::filesystem::path SettingsFile() const {
    return m_folder.Path() / "config" / "VarnholtWerk Software" / "Tessaline.conf";
  }
  std::string File(const std::string& name) const { return m_folder / name; }
  std::string Quartz() const { return "'" + TestDataPath("quartz.cif").string() + "'"; }

 private:
  CScratchFolder m_folder;
};

TEST_F(PreferencesCommand, AValueSetByOneRunIsSeenByTheNext) {
  EXPECT_EQ(Run("preferences --get Lambda").out, "1.5405\n");
  EXPECT_FALSE(std::filesystem::exists(SettingsFile())) << "reading writes nothing";

  const CRun set = Run("preferences --set Lambda 1.78897");
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, "");
  EXPECT_TRUE(std::filesystem::exists(SettingsFile()));
  const CRun get = Run("preferences --get Lambda");
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "1.78897\n");
  EXPECT_EQ(get.err, "");

  EXPECT_EQ(Run("preferences --set FontName 'DejaVu Sans'").status, 0);
  EXPECT_EQ(Run("preferences --set PreferredOrientationVector 1,1,0").status, 0);
  EXPECT_EQ(Run("preferences --set LabelColor '#FF00CC00'").status, 0);
  EXPECT_EQ(Run("preferences --set MinWheelZDelta -60").status, 0);
  EXPECT_EQ(Run("preferences --get FontName").out, "DejaVu Sans\n");
  EXPECT_EQ(Run("preferences --get PreferredOrientationVector").out, "1,1,0\n");
  EXPECT_EQ(Run("preferences --get LabelColor").out, "0xFF00CC00\n");
  EXPECT_EQ(Run("preferences --get MinWheelZDelta").out, "-60\n");
  EXPECT_EQ(Run("preferences --get Lambda").out, "1.78897\n");
}

TEST_F(PreferencesCommand, ListsEveryKeyWithItsTypeGroupAndValue) {
  const CRun list = Run("preferences --list");
  ASSERT_EQ(list.status, 0) << list.err;
  std::istringstream lines(list.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 26u + 133u);
  EXPECT_EQ(rows.front().rfind("BasePrefsVersion ", 0), 0u) << rows.front();
  EXPECT_EQ(rows.back().rfind("ReflexionMemoryBudget ", 0), 0u) << rows.back();
  bool found = false;
  for (const std::string& row : rows) {
    if (row.rfind("Lambda ", 0) != 0) continue;
    std::istringstream fields(row);
    std::string key, type, group, value;
    fields >> key >> type >> group >> value;
    EXPECT_EQ(type, "double");
    EXPECT_EQ(group, "8");
    EXPECT_EQ(value, "1.5405");
    found = true;
  }
  EXPECT_TRUE(found) << list.out;
}

TEST_F(PreferencesCommand, BadValuesAreUsageErrorsNamingTheKey) {
  const CRun word = Run("preferences --set Lambda 1,5");
  EXPECT_EQ(word.status, 2);
  EXPECT_NE(word.err.find("Lambda"), std::string::npos) << word.err;
  EXPECT_NE(word.err.find("'1,5'"), std::string::npos) << word.err;
  EXPECT_NE(word.err.find("Usage: tessaline-cli preferences"), std::string::npos) << word.err;

  const CRun unsignedValue = Run("preferences --set MaxNumRefs -5");
  EXPECT_EQ(unsignedValue.status, 2);
  EXPECT_NE(unsignedValue.err.find("MaxNumRefs"), std::string::npos) << unsignedValue.err;

  const CRun unknown = Run("preferences --get Lambda3");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("'Lambda3'"), std::string::npos) << unknown.err;

  EXPECT_EQ(Run("preferences --set ASF 1").status, 2);
  EXPECT_EQ(Run("preferences").status, 2);
  EXPECT_EQ(Run("preferences --list --reset").status, 2);
  EXPECT_EQ(Run("preferences --set Lambda").status, 2);
  EXPECT_EQ(Run("preferences --get Lambda extra").status, 2);
  EXPECT_FALSE(std::filesystem::exists(SettingsFile())) << "a mistake writes nothing";
}

TEST_F(PreferencesCommand, ResetWritesTheFactoryDefaultsBack) {
  ASSERT_EQ(Run("preferences --set Lambda 2").status, 0);
  ASSERT_EQ(Run("preferences --set ShowGrid false").status, 0);
  EXPECT_EQ(Run("preferences --get ShowGrid").out, "false\n");
  const CRun reset = Run("preferences --reset");
  EXPECT_EQ(reset.status, 0) << reset.err;
  EXPECT_EQ(Run("preferences --get Lambda").out, "1.5405\n");
  EXPECT_EQ(Run("preferences --get ShowGrid").out, "true\n");
  EXPECT_NE(ReadWholeFile(SettingsFile()).find("Lambda="), std::string::npos);
}

TEST_F(PreferencesCommand, DamagedPreferencesAreReportedOnce) {
  ASSERT_EQ(Run("preferences --set Eta 0.4").status, 0);
  // A wavelength of four bytes, as another program might have left it.
  std::string settings = ReadWholeFile(SettingsFile());
  const size_t lambda = settings.find("\nLambda=");
  ASSERT_NE(lambda, std::string::npos) << settings;
  const size_t end = settings.find('\n', lambda + 1);
  settings.replace(lambda + 1, end - lambda - 1, "Lambda=@ByteArray(abcd)");
  std::ofstream(SettingsFile()) << settings;

  const CRun get = Run("preferences --get Lambda");
  EXPECT_EQ(get.out, "1.5405\n");
  EXPECT_EQ(Run("preferences --get Eta").out, "0.4\n");
  size_t alerts = 0;
  for (size_t at = get.err.find("Error reading preferences."); at != std::string::npos;
       at = get.err.find("Error reading preferences.", at + 1))
    ++alerts;
  EXPECT_EQ(alerts, 1u) << get.err;
}

TEST_F(PreferencesCommand, CalculationsStartFromThePreferencesOnlyWhenAsked) {
  const std::string builtIn = Run("reflexions " + Quartz()).out;
  const std::string atOneAngstrom = Run("reflexions " + Quartz() + " --wavelength 1").out;
  ASSERT_NE(builtIn, atOneAngstrom);
  ASSERT_EQ(Run("preferences --set Lambda 1").status, 0);

  EXPECT_EQ(Run("reflexions " + Quartz()).out, builtIn);
  const CRun preferred = Run("--use-preferences reflexions " + Quartz());
  EXPECT_EQ(preferred.status, 0) << preferred.err;
  EXPECT_EQ(preferred.out, atOneAngstrom);
  // The switch may stand anywhere, and options still have the last word.
  EXPECT_EQ(Run("reflexions " + Quartz() + " --use-preferences").out, atOneAngstrom);
  EXPECT_EQ(Run("--use-preferences reflexions " + Quartz() + " --wavelength 1.5405").out, builtIn);
}

TEST_F(PreferencesCommand, TheRulesAndTheMemoryBudgetComeFromTheStore) {
  ASSERT_EQ(Run("preferences --set ReflexionMemoryBudget 1000").status, 0);
  EXPECT_EQ(Run("reflexions " + Quartz()).status, 0);
  const CRun refused = Run("--use-preferences reflexions " + Quartz());
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.err.find("more than the 0.0 GB allowed"), std::string::npos) << refused.err;
  // The refusal says why there is nothing; "no reflexions in range" would say something else.
  EXPECT_EQ(refused.err.find("No reflexions"), std::string::npos) << refused.err;
  const CRun refusedProfile = Run("--use-preferences simulate " + Quartz() + " -o -");
  EXPECT_EQ(refusedProfile.status, 1);
  EXPECT_NE(refusedProfile.err.find("more than the 0.0 GB allowed"), std::string::npos);
  EXPECT_EQ(refusedProfile.err.find("No reflexions"), std::string::npos) << refusedProfile.err;
  ASSERT_EQ(Run("preferences --set ReflexionMemoryBudget 0").status, 0);
  EXPECT_EQ(Run("--use-preferences reflexions " + Quartz()).status, 0);

  // One silicon site of P 32 2 1 that the physical rules count three times and the earlier
  // rules four times.
  std::ofstream(File("legacy.cif"))
      << "data_x\n_cell_length_a 4.9134\n_cell_length_b 4.9134\n_cell_length_c 5.4052\n"
         "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 120\n"
         "_symmetry_space_group_name_H-M 'P 32 2 1'\n"
         "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
         "Si1 0.4697 0 0.6667\n";
  constexpr const char* kPhysical = "0.66670     3  none";
  constexpr const char* kLegacy = "0.66670     4  none";
  EXPECT_NE(Run("--use-preferences info legacy.cif").out.find(kPhysical), std::string::npos);
  ASSERT_EQ(Run("preferences --set LegacyRules true").status, 0);
  EXPECT_NE(Run("info legacy.cif").out.find(kPhysical), std::string::npos);
  EXPECT_NE(Run("--use-preferences info legacy.cif").out.find(kLegacy), std::string::npos);
  EXPECT_NE(Run("--legacy-rules info legacy.cif").out.find(kLegacy), std::string::npos);
}

}  // namespace
