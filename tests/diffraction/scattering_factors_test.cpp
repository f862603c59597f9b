#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "crystal/crystal.h"
#include "diffraction/scattering_table.h"
#include "errors/exceptions.h"
#include "files/asf_file.h"

namespace {

CVHASF Record(const char* symbol) {
  const auto record = CScatteringFactorTable::Instance().Find(symbol);
  EXPECT_TRUE(record) << symbol;
  return record.value_or(CVHASF());
}

// s^2 for sin(theta)/lambda = stol.
double S2(double stol) { return stol * stol; }
double DFor(double stol) { return 1.0 / (2.0 * stol); }

TEST(ScatteringTable, BuiltInRecordsInTheirOrder) {
  const std::vector<CVHASF> records = BuiltInScatteringFactors();
  ASSERT_EQ(records.size(), 103u);
  const char* lead[] = {"D", "T", "H", "H-1", "He", "Li", "Li+1", "Be",
                        "B", "C", "N", "O",   "F",  "OH", "Ne",   "Na"};
  for (size_t i = 0; i < std::size(lead); ++i) EXPECT_EQ(records[i].symbol, lead[i]);
  EXPECT_EQ(records.back().symbol, "Cf");
  for (size_t i = 16; i < records.size(); ++i) EXPECT_EQ(records[i].z, records[i - 1].z + 1);

  const CVHASF h = Record("H");
  EXPECT_EQ(h.f[0], static_cast<double>(0.489918f));
  EXPECT_EQ(h.f[8], static_cast<double>(0.001305f));
  EXPECT_EQ(h.w, static_cast<double>(1.008f));
  EXPECT_EQ(Record("D").f, h.f);
  EXPECT_EQ(Record("D").notes, "f for H");
  EXPECT_EQ(Record("T").f, h.f);
  EXPECT_FLOAT_EQ(Record("T").b, 4.792f);
  EXPECT_EQ(Record("OH").f, Record("O").f);
  EXPECT_EQ(Record("OH").z, 9);
  EXPECT_EQ(Record("Fe").z, 26);
  EXPECT_FLOAT_EQ(Record("Fe").b, 9.45f);
  EXPECT_FLOAT_EQ(Record("B").b, 6.65f);
  EXPECT_FLOAT_EQ(Record("Pu").b, 8.1f);
  EXPECT_EQ(Record("Cf").notes, "No neutron data.");
  EXPECT_EQ(Record("Cf").b, 0.0);
  EXPECT_EQ(Record("Sm").notes, "b is for natural abundances (0.80 - 1.65i)");
}

// Reference values computed with cctbx's it1992 tables for the same coefficients.
TEST(ScatteringFactors, XrayFormFactorsAgreeWithAnIndependentEvaluation) {
  EXPECT_NEAR(XrayFormFactor(Record("Fe"), 0.0), 25.990399837493896, 1e-5);
  EXPECT_NEAR(XrayFormFactor(Record("Fe"), S2(0.25)), 18.362614730240566, 1e-5);
  EXPECT_NEAR(XrayFormFactor(Record("Fe"), S2(0.5)), 11.505687446868448, 1e-5);
  EXPECT_NEAR(XrayFormFactor(Record("O"), S2(0.3)), 4.089334293897462, 1e-5);
  EXPECT_NEAR(XrayFormFactor(Record("C"), S2(0.25)), 2.9497611049530477, 1e-5);
  EXPECT_NEAR(XrayFormFactor(Record("H"), S2(0.2)), 0.48073449551959746, 1e-6);
}

TEST(ScatteringFactors, FactorsByKindAndOccupancy) {
  const CVHASF fe = Record("Fe");
  EXPECT_DOUBLE_EQ(ScatteringFactor(fe, 0.5, 2.0, CScatteringKind::kNeutron),
                   ScatteringFactor(fe, 0.5, 0.7, CScatteringKind::kNeutron));
  EXPECT_FLOAT_EQ(ScatteringFactor(fe, 0.5, 2.0, CScatteringKind::kNeutron), 0.5f * 9.45f);
  EXPECT_GT(ScatteringFactor(fe, 1.0, 2.0, CScatteringKind::kXray),
            ScatteringFactor(fe, 1.0, 1.0, CScatteringKind::kXray));
  EXPECT_NEAR(ScatteringFactor(fe, 1.0, 1e6, CScatteringKind::kXray), 26.0, 0.05);
  EXPECT_NEAR(ScatteringFactor(fe, 0.25, DFor(0.25), CScatteringKind::kXray), 0.25 * 18.362614730240566, 1e-5);
  // Mott-Bethe: 850 (Z - f) / s^2.
  EXPECT_NEAR(ScatteringFactor(Record("C"), 1.0, DFor(0.25), CScatteringKind::kElectron),
              850.0 * (6.0 - 2.9497611049530477) / S2(0.25), 1e-3);
  EXPECT_EQ(ScatteringFactor(fe, 0.0, 2.0, CScatteringKind::kXray), 0.0);
  EXPECT_EQ(ScatteringFactor(fe, -1.0, 2.0, CScatteringKind::kNeutron), 0.0);
}

TEST(ScatteringTable, MatchingCopiesTheRecordOrFallsBackToSilicon) {
  CTSAtom iron;
  iron.symbol = "Fe";
  EXPECT_TRUE(MatchScatteringFactor(iron));
  EXPECT_EQ(iron.scattering.z, 26);

  CTSAtom unknown;
  unknown.symbol = "Xx";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(MatchScatteringFactor(unknown));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Error matching atomic scattering factors!"),
            std::string::npos);
  EXPECT_EQ(unknown.scattering.symbol, "Si");
  EXPECT_EQ(unknown.scattering.f[0], 5.66269);
  EXPECT_EQ(unknown.scattering.w, 28.0855);

  CTSAtom lowerCase;
  lowerCase.symbol = "fe";  // matching is case-sensitive
  testing::internal::CaptureStderr();
  EXPECT_FALSE(MatchScatteringFactor(lowerCase));
  testing::internal::GetCapturedStderr();
}

TEST(ScatteringTable, InstalledTableReplacesTheBuiltInOne) {
  CScatteringFactorTable table;
  CVHASF custom;
  custom.symbol = "Xx";
  custom.z = 120;
  table.Install({custom});
  EXPECT_TRUE(table.Find("Xx"));
  EXPECT_FALSE(table.Find("Fe"));
  table.RestoreBuiltIn();
  EXPECT_TRUE(table.Find("Fe"));
  EXPECT_EQ(ScatteringSymbolFromText(" L i + 1 "), "Li+1");
  EXPECT_EQ(ScatteringSymbolFromText("Abcdefghijklm"), "Abcdefghi");
}

TEST(ScatteringTableFile, WrittenTableReadsBackIdentically) {
  const std::vector<CVHASF> records = BuiltInScatteringFactors();
  std::istringstream text(FormatScatteringFactorFile(records));
  std::vector<CVHASF> read;
  std::string line;
  for (int number = 1; std::getline(text, line); ++number)
    if (auto record = ParseScatteringFactorLine(line, number)) read.push_back(*record);
  ASSERT_EQ(read.size(), records.size());
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(read[i], records[i]) << records[i].symbol;
}

TEST(ScatteringTableFile, LayoutOfHeadingAndRecords) {
  const std::string text = FormatScatteringFactorFile(BuiltInScatteringFactors());
  EXPECT_EQ(text.substr(0, 86), "!" + std::string(84, '-') + "\n");
  EXPECT_NE(text.find("! Atomic scattering factors for use with Tessaline\n"), std::string::npos);
  EXPECT_NE(text.find(std::string("! DESCRIPTION") + std::string(67, ' ') + "\n"), std::string::npos);
  EXPECT_NE(text.find("\nH       1     1.008     0.489918   20.659300    0.262003"), std::string::npos);
  EXPECT_NE(text.find("    6.6710   \"f for H\"\n"), std::string::npos);
  EXPECT_NE(text.find("\nFe     26    55.845"), std::string::npos);
}

TEST(ScatteringTableFile, DataLineRules) {
  EXPECT_FALSE(ParseScatteringFactorLine("", 1));
  EXPECT_FALSE(ParseScatteringFactorLine("   ! comment", 1));
  EXPECT_FALSE(ParseScatteringFactorLine("// comment", 1));
  const auto minimal = ParseScatteringFactorLine("fe 26 55.845 1 2 3 4 5 6 7 8 9", 3);
  ASSERT_TRUE(minimal);
  EXPECT_EQ(minimal->symbol, "Fe");
  EXPECT_EQ(minimal->b, 0.0);
  const auto noted = ParseScatteringFactorLine("Li+1\t3 6.941 1 2 3 4 5 6 7 8 9 -1.9 \"my own  fit\"", 4);
  ASSERT_TRUE(noted);
  EXPECT_EQ(noted->symbol, "Li+1");
  EXPECT_EQ(noted->notes, "my own  fit");
  EXPECT_FLOAT_EQ(noted->b, -1.9f);
  for (const char* bad : {"Fe 26 55.8 1 2 3 4 5 6 7 8",          // eleven fields
                          "Fe 26 55.8 1 2 3 4 5 6 7 8 9 10 11",  // fourteen
                          "Fe 26.5 55.8 1 2 3 4 5 6 7 8 9",      // Z not an integer
                          "Fe 26 55.8 1 2 3 4 x 6 7 8 9",
                          "Fe 26 55.8 1 2 3 4 nan 6 7 8 9",  // not finite
                          "Fe 26 55.8 1 2 3 4 5 6 7 8 inf",
                          "Fe 26 55.8 1 2 3 4 5 6 7 8 1e39"}) {  // beyond single precision
    try {
      ParseScatteringFactorLine(bad, 17);
      FAIL() << bad;
    } catch (const CVHXFileASFBadLine& e) {
      EXPECT_EQ(e.Explanation(),
                "Input line 17 in the ASF data file contains invalid data or is incorrectly formatted. "
                "Input has been stopped.");
    }
  }
}

TEST(ScatteringTableFile, FilesOnDisc) {
  const std::string path = (std::filesystem::temp_directory_path() / "asf_file_test.asf").string();
  std::vector<CVHASF> records = BuiltInScatteringFactors();
  records[3].notes = "a note  with blanks";
  WriteScatteringFactorFile(path, records);
  EXPECT_EQ(ReadScatteringFactorFile(path), records);

  std::ofstream(path, std::ios::app) << "\r\nXx 1 1 1 2 3 4 5 6 7 8\r\n";
  try {
    ReadScatteringFactorFile(path);
    FAIL();
  } catch (const CVHXFileASFBadLine& e) {
    EXPECT_NE(e.Explanation().find("Input line 143 "), std::string::npos) << e.Explanation();
  }
  std::ofstream(path) << "! only comments\n\n// and more\n";
  EXPECT_THROW(ReadScatteringFactorFile(path), CVHXFileNoData);
  std::filesystem::remove(path);
  try {
    ReadScatteringFactorFile(path);
    FAIL();
  } catch (const CVHXFileASFNotFound& e) {
    EXPECT_NE(e.Explanation().find(path), std::string::npos);
  }
}

}  // namespace
