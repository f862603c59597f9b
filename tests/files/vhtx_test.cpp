#include "files/vhtx_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "crystal/spacegroups.h"
#include "errors/exceptions.h"
#include "files/cif_file.h"
#include "files/crystal_files.h"
#include "support/data_files.h"
#include "support/recorders.h"

namespace {

class VhtxTest : public testing::Test {
 protected:
  // Named after the test as well: tests run side by side in separate processes.
  std::string Write(const std::string& name, const std::string& text) {
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::filesystem::path path = std::filesystem::temp_directory_path() / ("vhtx_test_" + test + "_" + name);
    std::ofstream(path, std::ios::binary) << text;
    m_paths.push_back(path);
    return path.string();
  }
  CTSCrystal Read(const std::string& text) { return ReadCrystalFile(Write("read.vhtx", text)).crystal; }
  ~VhtxTest() override {
    for (const auto& path : m_paths) std::filesystem::remove(path);
  }

 private:
  std::vector<std::filesystem::path> m_paths;
};

const std::string kHeader = "TITL  test\nCELL  5 5 5 90 90 90\nSPGR  P m -3 m\n";

const CTSSite& SiteNamed(const CTSCrystal& crystal, const std::string& label) {
  for (const CTSSite& site : crystal.sites)
    if (site.label == label) return site;
  ADD_FAILURE() << "no site " << label;
  return crystal.sites.front();
}

TEST_F(VhtxTest, ReadsTheCardsOfAProjectStructure) {
  const CCrystalFile file = ReadCrystalFile(TestDataPath("strontium_titanate.vhtx").string());
  EXPECT_EQ(file.type, CTSVHTXFile::kTypeId);
  EXPECT_EQ(file.title, "strontium_titanate");
  const CTSCrystal& crystal = file.crystal;
  EXPECT_DOUBLE_EQ(crystal.a, 3.905);
  EXPECT_EQ(crystal.spaceGroupSymbol, "P m -3 m");
  ASSERT_EQ(crystal.sites.size(), 3u);
  EXPECT_EQ(crystal.sites[0].label, "Sr1");  // heaviest element first
  EXPECT_EQ(SiteNamed(crystal, "O1").Multiplicity(), 3u);
  EXPECT_DOUBLE_EQ(SiteNamed(crystal, "Ti1").displacement->U(), 0.004);
  EXPECT_EQ(SiteNamed(crystal, "Ti1").atoms[0].scattering.z, 22);
}

TEST_F(VhtxTest, CardRules) {
  CRecordingAlertPresenter alerts;  // files without symmetry are reported
  EXPECT_THROW(Read(kHeader + "ATOM\nOCCU\n"), CVHXFileImportNoAtoms);
  EXPECT_THROW(Read("titl  lower case\n" + kHeader + "ATOM\nFe Fe1 0 0 0\n"), CVHXFileTextLowercaseCard);
  // A lower-case card other than titl is not a card at all.
  EXPECT_EQ(Read(kHeader + "cell 1 2 3 90 90 90\nATOM\nFe Fe1 0 0 0\n").a, 5.0);
  EXPECT_EQ(Read("CELL 5 5 5 90 90 90\nLATC c\nATOM\nFe Fe1 0 0 0\n").latticeLetter, 'C');
  EXPECT_THROW(Read("CELL 5 5 5 90 90 90\nLATC X\nATOM\nFe Fe1 0 0 0\n"), CVHXFileConversionErr);
  EXPECT_THROW(Read("CELL 5 5 5 90 90\nATOM\nFe Fe1 0 0 0\n"), CVHXFileConversionErr);
  EXPECT_THROW(Read("CELL 5 5 5 90 90 90\nSPGR\nATOM\nFe Fe1 0 0 0\n"), CVHXFileConversionErr);
  EXPECT_THROW(Read("CELL 5 5 5 90 90 90\nOSHF 0.1 x 0\nATOM\nFe Fe1 0 0 0\n"), CVHXFileConversionErr);
  EXPECT_THROW(Read(kHeader + "MOLE\nATOM\nFe Fe1 0 0 0\n"), CVHXFileNoMoleculeDiffract);
  // An ATOM line without a label is named after its element.
  EXPECT_EQ(Read(kHeader + "ATOM\nFe 0.1 0.2 0.3\n").sites[0].label, "Fe1");
}

TEST_F(VhtxTest, DataLineErrors) {
  const std::string atoms = kHeader + "ATOM\nFe Fe1 0 0 0\n";
  try {
    Read(atoms + "UISO\nFe1\n");
    FAIL();
  } catch (const CVHXFileTextIsoParams& e) {
    EXPECT_EQ(e.Explanation(), "Two parameters are required to specify isotropic temperatures. Please check your file.");
  }
  EXPECT_THROW(Read(atoms + "UANI\nFe1 0.01 0.01 0.01 0 0\n"), CVHXFileTextAnisoParams);
  EXPECT_THROW(Read("CELL 5 5 5 90 90 90\nATOM\nFe Fe1 0 0 0\nUANI\nFe1 0.01 0.01 0.01 0 0 0\n"),
               CVHXFileTextNoLatticeParams);
  EXPECT_THROW(Read(atoms + "OCCU\nFe2 Fe 1.0\n"), CVHXFileTextInvalidSiteOcc);
  EXPECT_THROW(Read(atoms + "OCCU\nFe1 Xq 1.0\n"), CVHXFileTextInvalidSiteOcc);
  EXPECT_THROW(Read(atoms + "OCCU\nFe1 Fe half\n"), CVHXFileTextInvalidSiteOcc);
  // A displacement line naming no site is passed over.
  EXPECT_FALSE(Read(atoms + "UISO\nXx9 0.01\n").sites[0].displacement);
}

TEST_F(VhtxTest, MixedSitesAndTensors) {
  const CTSCrystal crystal =
      Read(kHeader +
           "ATOM\nFe M1 0 0 0\nO O1 0.5 0 0\nOCCU\nM1 Fe 0.5 Mg 0.5\n"
           "BANI\nM1 0.002 0.002 0.002 0 0 0\nUANI\nO1 0.01 0.02 0.02 0 0 0\nEND\n");
  const CTSSite& m1 = SiteNamed(crystal, "M1");
  ASSERT_EQ(m1.atoms.size(), 2u);
  EXPECT_EQ(m1.atoms[1].symbol, "Mg");
  const auto* beta = dynamic_cast<const CTSAnisoThermalEllipsoid*>(m1.displacement.get());
  ASSERT_TRUE(beta);
  EXPECT_EQ(beta->Beta()[4], 0.002);  // stored as given
  EXPECT_TRUE(crystal.hasDisplacementParameters);
}

TEST_F(VhtxTest, CellsThatCannotExistAreRefused) {
  for (const char* cell : {"CELL  -5 5 5 90 90 90", "CELL  5 5 5 10 10 170", "CELL  5 5 5 90 0 90",
                           "CELL  1e25 5 5 90 90 90", "CELL  5 5 1e200 90 90 90"}) {
    SCOPED_TRACE(cell);
    EXPECT_THROW(Read(std::string(cell) + "\nSPGR  P 1\nATOM\nFe Fe1 0 0 0\n"),
                 CVHXFileImpossibleCell);
  }
}

TEST_F(VhtxTest, ImpossibleOccupanciesAreRefused) {
  for (const char* occupancy : {"1e200", "-1"}) {
    SCOPED_TRACE(occupancy);
    EXPECT_THROW(Read(kHeader + "ATOM\nFe Fe1 0 0 0\nOCCU\nFe1 Fe " + occupancy + "\n"),
                 CVHXFileImpossibleOccupancy);
  }
}

TEST_F(VhtxTest, SitesAreFoundByLabelAmongMany) {
  // Far more sites and tensor rows than work per site on every card line would bear at this
  // size in a unit test (hundreds of millions of steps); each row finds its own site.
  std::string atoms = "ATOM\n", occupancies = "OCCU\n", uani = "UANI\n", bani = "BANI\n";
  for (int i = 0; i < 20000; ++i) {
    const std::string label = "C" + std::to_string(i);
    atoms += "C " + label + " 0.1 0.2 0.3\n";
    occupancies += label + " C 0.5\n";
    (i % 2 ? uani : bani) += label + " 0.02 0.02 0.02 0 0 0\n";
  }
  const CTSCrystal crystal = Read("CELL  50 50 50 90 90 90\nSPGR  P 1\n" + atoms + occupancies +
                                  uani + bani + "UISO\nC19998 0.02\n");
  ASSERT_EQ(crystal.sites.size(), 20000u);
  EXPECT_EQ(SiteNamed(crystal, "C19999").atoms[0].occupancy, 0.5);
  EXPECT_FALSE(SiteNamed(crystal, "C19998").displacement->IsAnisotropic());
  // U11 = 0.02 A^2 in a 50 A cube is beta11 = 2 pi^2 U11 / a^2; the beta rows are stored as given.
  const auto beta = [&](const std::string& label) {
    const auto* tensor =
        dynamic_cast<const CTSAnisoThermalEllipsoid*>(SiteNamed(crystal, label).displacement.get());
    return tensor ? tensor->Beta()[0] : -1.0;
  };
  const double pi = std::acos(-1.0);
  EXPECT_NEAR(beta("C19999"), 2.0 * pi * pi * 0.02 / 2500.0, 1e-12);
  EXPECT_DOUBLE_EQ(beta("C0"), 0.02);
}

TEST_F(VhtxTest, MissingSymmetryIsReportedAndP1Used) {
  CRecordingAlertPresenter alerts;
  const CTSCrystal crystal = Read("CELL 5 5 5 90 90 90\nATOM\nFe Fe1 0.1 0.2 0.3\n");
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 1");
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "Missing symmetry information.");
}

TEST_F(VhtxTest, WrittenCrystalsReadBack) {
  CRecordingAlertPresenter alerts;  // halite's own list of the identity alone is reported
  for (const char* name : {"quartz.cif", "corundum.cif", "silicon.cif", "halite.cif", "rutile.cif"}) {
    SCOPED_TRACE(name);
    const CCrystalFile original = ReadCrystalFile(TestDataPath(name).string());
    const std::string path = Write("round.vhtx", "");
    WriteCrystalFile(path, original.crystal, original.title);
    const CTSCrystal back = ReadCrystalFile(path).crystal;
    EXPECT_NEAR(back.c, original.crystal.c, 1e-6);
    EXPECT_NEAR(back.gamma, original.crystal.gamma, 1e-6);
    EXPECT_EQ(back.spaceGroupSymbol, original.crystal.spaceGroupSymbol);
    EXPECT_EQ(back.symmetryOperators.size(), original.crystal.symmetryOperators.size());
    ASSERT_EQ(back.sites.size(), original.crystal.sites.size());
    for (const CTSSite& site : original.crystal.sites) {
      const CTSSite& read = SiteNamed(back, site.label);
      EXPECT_NEAR(read.x, site.x, 1e-6);
      EXPECT_NEAR(read.z, site.z, 1e-6);
      EXPECT_EQ(read.Multiplicity(), site.Multiplicity());
      EXPECT_NEAR(read.atoms[0].occupancy, site.atoms[0].occupancy, 5e-5);
      ASSERT_EQ(read.displacement == nullptr, site.displacement == nullptr);
      if (site.displacement) {
        EXPECT_NEAR(read.displacement->U(), site.displacement->U(), 1e-6);
      }
    }
  }
}

TEST_F(VhtxTest, WriterLayout) {
  const CCrystalFile file = ReadCrystalFile(TestDataPath("strontium_titanate.vhtx").string());
  const std::string path = Write("layout.vhtx", "");
  WriteCrystalFile(path, file.crystal, "Strontium titanate");
  const std::string text = ReadWholeFile(path);
  EXPECT_EQ(text.substr(0, text.find("\n\n")), "TITL  Strontium titanate\nNOTE\nData generated by Tessaline " TESSALINE_VERSION
                                               " for Windows");
  EXPECT_NE(text.find("\nCELL  3.905000 3.905000 3.905000  90.000000 90.000000 90.000000\n"), std::string::npos);
  EXPECT_NE(text.find("\n! Lattice type\nLATC  P\n\n! Spacegroup symbol:  P m -3 m\n"
                      "! Total of 48 general equivalent positions (excl. lattice operators)\nSYMM  +x,+y,+z\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nATOM\nSr  Sr1     0.000000 0.000000 0.000000\n"), std::string::npos);
  EXPECT_NE(text.find("\nOCCU\nSr1      Sr 1.000000\n"), std::string::npos);
  EXPECT_NE(text.find("\nUISO\nSr1     0.005000\n"), std::string::npos);
  EXPECT_EQ(text.find("OSHF"), std::string::npos);
}

TEST_F(VhtxTest, ContentProbe) {
  const std::string vhtx = kHeader + "ATOM\nFe Fe1 0 0 0\n";
  EXPECT_EQ(CTSVHTXFile::Recognise(Write("probe.txt", vhtx)), CTSVHTXFile::kTypeId);
  EXPECT_EQ(CTessFile::DetermineType(Write("probe2.txt", vhtx)), CTSVHTXFile::kTypeId);
  EXPECT_EQ(CTSVHTXFile::Recognise(Write("shelx.txt", "CELL 1.5418 5 5 5 90 90 90\nSFAC Fe\nATOM\nFe Fe1 0 0 0\n")), 0u);
  EXPECT_EQ(CTSVHTXFile::Recognise(Write("seven.txt", "CELL 1.54 5 5 5 90 90 90\nATOM\nFe Fe1 0 0 0\n")), 0u);
  EXPECT_EQ(CTSVHTXFile::Recognise(Write("angles.txt", "CELL 5 5 5 90 190 90\nATOM\nFe Fe1 0 0 0\n")), 0u);
  EXPECT_EQ(CTSCIFFile::Recognise(Write("cif.txt", vhtx)), 0u);
}

}  // namespace
