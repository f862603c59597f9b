// Written files read back: every structure of our own and every public one, taken from its
// file to the text crystal format and on to CIF, gives the pattern it gave at the start.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "diffraction/calculate.h"
#include "diffraction/reflexion.h"
#include "files/crystal_files.h"
#include "patterns/plot_spec.h"
#include "support/data_files.h"
#include "support/recorders.h"
#include "temp_file.h"

namespace {

std::vector<std::filesystem::path> StructureFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(TestDataPath("")))
    if (entry.path().extension() == ".cif" || entry.path().extension() == ".vhtx")
      files.push_back(entry.path());
  if (!SharedDataPath().empty())
    for (const auto& entry : std::filesystem::directory_iterator(SharedDataPath() / "cif"))
      if (entry.path().extension() == ".cif") files.push_back(entry.path());
  return files;
}

CTSCrystal Calculated(CTSCrystal crystal) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetMaxNumRefs(3000);
  EXPECT_TRUE(CalculateReflexions(crystal, plotSpec));
  return crystal;
}

TEST(CrystalRoundTrip, CifToTextCrystalFileToCifKeepsThePattern) {
  CRecordingAlertPresenter alerts;  // symmetry notes and unmatched species of the public files
  CTempFile text(".vhtx"), cif(".cif");
  int files = 0;
  for (const std::filesystem::path& path : StructureFiles()) {
    SCOPED_TRACE(path.filename().string());
    const CCrystalFile original = ReadCrystalFile(path.string());
    WriteCrystalFile(text.Path(), original.crystal, original.title);
    WriteCrystalFile(cif.Path(), ReadCrystalFile(text.Path()).crystal, original.title);
    const CTSCrystal before = Calculated(original.crystal),
                     after = Calculated(ReadCrystalFile(cif.Path()).crystal);
    ASSERT_EQ(before.reflexions.size(), after.reflexions.size());
    for (size_t i = 0; i < before.reflexions.size(); ++i) {
      const CTSReflexion &a = *before.reflexions[i], &b = *after.reflexions[i];
      EXPECT_NEAR(a.d, b.d, 1e-6 * a.d) << i;
      EXPECT_EQ(a.multiplicity, b.multiplicity) << i;
      EXPECT_NEAR(a.relativeIntensity, b.relativeIntensity, 1e-5)
          << a.h << " " << a.k << " " << a.l;
    }
    ++files;
  }
  EXPECT_GE(files, 6);
}

}  // namespace
