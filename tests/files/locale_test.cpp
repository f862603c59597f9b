// Numbers in files do not depend on the process locale: a desktop session in a country that
// writes "1,5" reads and writes crystal files, data files, profiles and listings exactly as the
// C locale does. The comma-decimal locale is made by the test script (tessaline.sh test); a
// machine without one skips the comparison and says so.
#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <optional>

#include "crystal/crystal.h"
#include "diffraction/calculate.h"
#include "files/crystal_files.h"
#include "files/listing_files.h"
#include "files/observed_files.h"
#include "files/profile_file.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

// Switches the C and the C++ global locale to a comma-decimal one while it lives.
class CCommaLocale {
 public:
  static std::optional<std::string> Available() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
      const std::string previous = std::setlocale(LC_ALL, nullptr);
      const bool exists = std::setlocale(LC_ALL, name) != nullptr;
      std::setlocale(LC_ALL, previous.c_str());
      if (exists) return name;
    }
    return std::nullopt;
  }

  explicit CCommaLocale(const std::string& name)
      : m_previousC(std::setlocale(LC_ALL, nullptr)),
        m_previousCpp(std::locale::global(std::locale(name))) {
    std::setlocale(LC_ALL, name.c_str());
  }
  ~CCommaLocale() {
    std::setlocale(LC_ALL, m_previousC.c_str());
    std::locale::global(m_previousCpp);
  }

 private:
  std::string m_previousC;
  std::locale m_previousCpp;
};

// Everything the program writes for quartz and the example scan, after reading it back where it
// can.
std::string EverythingWritten(const CScratchFolder& folder) {
  CCrystalFile quartz = ReadCrystalFile(TestDataPath("quartz.cif").string());
  WriteCrystalFile(folder / "quartz.cif", quartz.crystal, "quartz");
  WriteCrystalFile(folder / "quartz.vhtx", quartz.crystal, "quartz");
  CCrystalFile again = ReadCrystalFile(folder / "quartz.vhtx");
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  CalculateReflexions(again.crystal, plotSpec);
  const auto scan = ReadObservedPattern(TESSALINE_SOURCE_DIR "/examples/quartz-scan.xy");
  return ReadWholeFile(folder.Path() / "quartz.cif") +
         ReadWholeFile(folder.Path() / "quartz.vhtx") +
         ListingText(CListingKind::kReflexions, {{"quartz", again.crystal}}, plotSpec) +
         ListingText(CListingKind::kStructureFactors, {{"quartz", again.crystal}}, plotSpec) +
         CTSProfileFile::ProfileText(*scan, scan->RawPoints(), plotSpec);
}

TEST(LocaleIndependence, FilesProfilesAndListingsAreTheSameUnderACommaLocale) {
  const std::optional<std::string> comma = CCommaLocale::Available();
  if (!comma)
    GTEST_SKIP() << "no comma-decimal locale on this machine (tessaline.sh test makes one)";
  CScratchFolder plain, local;
  const std::string expected = EverythingWritten(plain);
  std::string written;
  {
    const CCommaLocale switched(*comma);
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    written = EverythingWritten(local);
  }
  EXPECT_EQ(written, expected);
  EXPECT_NE(expected.find("4.9"), std::string::npos)
      << "quartz's a is written with a decimal point";
}

}  // namespace
