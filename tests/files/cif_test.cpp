#include "files/cif_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "errors/exceptions.h"
#include "support/data_files.h"
#include "support/recorders.h"

namespace {

const char kCell[] =
    "_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n"
    "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n";

CTSCrystal Read(const std::string& text) {
  CTSCrystal crystal;
  ReadCifCrystal(text, crystal);
  return crystal;
}

// A block with the cubic cell above, the given symmetry lines and atom loop.
std::string Cif(const std::string& symmetry, const std::string& atoms) {
  return std::string("data_test\n") + kCell + symmetry + "\n" + atoms;
}

const std::string kOneAtom = "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nFe1 0.1 0.2 0.3\n";

int NumberOf(const CTSCrystal& crystal) {
  const auto row = SpaceGroupRowOf(crystal);
  return row ? SpaceGroupRows()[*row].number : 0;
}

size_t AtomsInCell(const CTSCrystal& crystal) {
  size_t atoms = 0;
  for (const CTSSite& site : crystal.sites) atoms += site.Multiplicity();
  return atoms;
}

std::set<uint32_t> FullCodes(const CTSCrystal& crystal) {
  std::set<uint32_t> codes;
  const bool rhombohedralAxes = crystal.latticeLetter == 'R' && HasEqualAngles(crystal);
  for (const auto& c : CentringTranslations(rhombohedralAxes ? 'P' : crystal.latticeLetter)) {
    for (CTSSymOp op : crystal.symmetryOperators) {
      op.SetTranslation(op.Translation() + c);
      codes.insert(op.Code().value_or(0xFFFFFFFF));
    }
  }
  return codes;
}

void ExpectSameStructure(const CTSCrystal& a, const CTSCrystal& b) {
  for (auto [x, y] : {std::pair{a.a, b.a}, {a.b, b.b}, {a.c, b.c}, {a.alpha, b.alpha}, {a.beta, b.beta},
                      {a.gamma, b.gamma}})
    EXPECT_NEAR(x, y, 5.0001e-5);
  EXPECT_EQ(NumberOf(a), NumberOf(b));
  EXPECT_EQ(FullCodes(a), FullCodes(b));
  ASSERT_EQ(a.sites.size(), b.sites.size());
  for (size_t i = 0; i < a.sites.size(); ++i) {
    const CTSSite& s = a.sites[i];
    const CTSSite& t = b.sites[i];
    EXPECT_EQ(s.label, t.label);
    EXPECT_NEAR(s.x, t.x, 5.0001e-5);
    EXPECT_NEAR(s.y, t.y, 5.0001e-5);
    EXPECT_NEAR(s.z, t.z, 5.0001e-5);
    ASSERT_EQ(s.atoms.size(), t.atoms.size()) << s.label;
    for (size_t k = 0; k < s.atoms.size(); ++k) {
      EXPECT_EQ(s.atoms[k].symbol, t.atoms[k].symbol);
      EXPECT_NEAR(s.atoms[k].occupancy, t.atoms[k].occupancy, 5.0001e-5);
    }
    ASSERT_EQ(s.displacement == nullptr, t.displacement == nullptr) << s.label;
    if (s.displacement) {
      EXPECT_EQ(s.displacement->IsAnisotropic(), t.displacement->IsAnisotropic());
      EXPECT_NEAR(s.displacement->U(), t.displacement->U(), 5.0001e-5);
    }
  }
}

TEST(CifReading, ProjectStructures) {
  const CTSCrystal quartz = Read(ReadWholeFile(TestDataPath("quartz.cif")));
  EXPECT_EQ(NumberOf(quartz), 154);
  EXPECT_EQ(quartz.spaceGroupSymbol, "P 32 2 1");
  EXPECT_NEAR(quartz.volume, 113.0073, 1e-4);
  EXPECT_EQ(AtomsInCell(quartz), 9u);
  EXPECT_NEAR(quartz.density, 2648.0, 5.0);  // the published density of quartz is 2.65 g/cm3
  EXPECT_EQ(quartz.sites[0].atoms[0].scattering.z, 14);
  ASSERT_TRUE(quartz.sites[1].displacement);
  EXPECT_EQ(quartz.sites[1].displacement->U(), 0.0135);

  const CTSCrystal corundum = Read(ReadWholeFile(TestDataPath("corundum.cif")));
  EXPECT_EQ(NumberOf(corundum), 167);
  EXPECT_EQ(AtomsInCell(corundum), 30u);
  EXPECT_EQ(corundum.sites[0].atoms[0].symbol, "Al");  // Al3+ has no record of its own
  EXPECT_NEAR(corundum.sites[0].displacement->U(), 0.19 / (8 * M_PI * M_PI), 1e-12);

  const CTSCrystal silicon = Read(ReadWholeFile(TestDataPath("silicon.cif")));
  EXPECT_EQ(silicon.originChoice, 2);
  EXPECT_EQ(AtomsInCell(silicon), 8u);

  const CTSCrystal rutile = Read(ReadWholeFile(TestDataPath("rutile.cif")));
  EXPECT_EQ(NumberOf(rutile), 136);
  EXPECT_EQ(AtomsInCell(rutile), 6u);
  ASSERT_TRUE(rutile.sites[1].displacement && rutile.sites[1].displacement->IsAnisotropic());
}

TEST(CifReading, CellLengthsInPicometresAndNanometres) {
  const std::string atoms = "_symmetry_space_group_name_H-M 'P 1'\n" + kOneAtom;
  const std::string nm = "data_x\n_cell_length_a_nm 0.5\n_cell_length_b_nm 0.6\n_cell_length_c_nm 0.7\n"
                         "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n" + atoms;
  EXPECT_NEAR(Read(nm).b, 6.0, 1e-12);
  const std::string pm = "data_x\n_cell_length_a_pm 500\n_cell_length_b_pm 600\n_cell_length_c_pm 700(2)\n"
                         "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n" + atoms;
  EXPECT_NEAR(Read(pm).c, 7.0, 1e-12);
}

TEST(CifReading, AnisotropicLoopJoinsByLabelWithAlternativeIndices) {
  const std::string aniso =
      "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n_atom_site_aniso_U_33\n"
      "_atom_site_aniso_U_21\n_atom_site_aniso_U_13\n_atom_site_aniso_U_23\nFe1 0.01 0.02 0.03 0.001 0 0\n";
  const CTSCrystal crystal = Read(Cif("_symmetry_space_group_name_H-M 'P 1'", kOneAtom + aniso));
  ASSERT_TRUE(crystal.sites[0].displacement);
  EXPECT_TRUE(crystal.sites[0].displacement->IsAnisotropic());
  EXPECT_NEAR(crystal.sites[0].displacement->U(), 0.02, 1e-15);

  CRecordingStatusLog log;
  const std::string incomplete =
      "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\nFe1 0.01 0.02\n";
  EXPECT_FALSE(Read(Cif("", kOneAtom + incomplete)).sites[0].displacement);
  EXPECT_TRUE(log.Contains("Warning: Incomplete set of Uij temperature factors for site 'Fe1'; discarding data."));
}

TEST(CifReading, IllegalBytesAreLoggedAndDropped) {
  CRecordingStatusLog log;
  CTSCrystal crystal;
  const CCifReadResult result = ReadCifCrystal(
      Cif("_symmetry_space_group_name_H-M 'P 1'",
          "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nFe\x80"
          "1 0.1 0.2 0.3\n"),
      crystal);
  EXPECT_TRUE(log.Contains("Error: Illegal character in CIF file (character code 0x80)."));
  EXPECT_EQ(result.errorCount, 1);
  EXPECT_EQ(crystal.sites[0].label, "Fe1");
}

TEST(CifReading, BrokenLoopsAreRefusedWithTheirFirstItem) {
  const std::string loop = "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                           "Fe1 0.1 0.2 0.3\nO1 0.5 0.5\n";
  try {
    Read(Cif("", loop));
    FAIL();
  } catch (const CVHXFileCIFInvalidLoop& e) {
    EXPECT_EQ(e.ResourceId(), 22831u);
    EXPECT_NE(e.Explanation().find("'_atom_site_label'"), std::string::npos);
  }
  EXPECT_THROW(Read(Cif("loop_\n_symmetry_equiv_pos_as_xyz\n", kOneAtom)), CVHXFileCIFMissingDataInLoop);
  const std::string mixed = "loop_\n_atom_site_label\n_cell_volume\nA 1\n";
  EXPECT_THROW(Read(Cif("", mixed)), CVHXFileCIFUnexpectedItem);
  EXPECT_THROW(Read(std::string("data_x\n_cell_length_a 5.x\n") + kOneAtom), CVHXFileCIFReadError);
  EXPECT_THROW(Read(Cif("loop_\n_symmetry_equiv_pos_as_xyz\n'x,y,w'", kOneAtom)), CVHXFileCIFReadError);
  EXPECT_THROW(Read("data_x\n_cell_length_a 5\n"), CVHXFileImportNoAtoms);
  EXPECT_THROW(Read(""), CVHXFileImportNoAtoms);
}

// A refused value names the line it stands on (the cell above takes lines 2 to 7); a failure
// found only once the file is read (no atoms) names none.
TEST(CifReading, RefusalsKnowTheirLine) {
  auto lineOf = [](const std::string& text) -> size_t {
    try {
      Read(text);
    } catch (const CVHException& e) {
      return e.SourceLine();
    }
    return 999;
  };
  EXPECT_EQ(lineOf("data_x\n_cell_length_a 5\n\n_cell_length_b 5.x\n" + kOneAtom), 4u);
  EXPECT_EQ(lineOf(Cif("loop_\n_symmetry_equiv_pos_as_xyz\n'x,y,z'\n'x,y,w'\n", kOneAtom)), 11u);
  // A loop whose values do not fill its rows: the line of its first item.
  EXPECT_EQ(lineOf("data_x\nloop_\n_atom_site_label\n_atom_site_fract_x\nA 0.1\nB\n"), 3u);
  EXPECT_EQ(lineOf("data_x\n_cell_length_a 5\n"), 0u);
}

TEST(CifReading, LexicalRules) {
  CRecordingStatusLog log;
  const std::string text =
      "# a comment line\n"
      "data_lexical\n" + std::string(kCell) +
      "_symmetry_space_group_name_H-M 'P 1' # trailing comment\n"
      "_journal_name_full\n;A text field\n_with an item-like line\n;\n"
      "_publ_section_title 'it's quoted'\n"
      "_chemical_name_common \"unterminated\n"
      "_exptl_crystal_colour\n"
      "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
      "_atom_site_fract_z\n_atom_site_occupancy\n"
      "'Li a' Li1+ 0.1 0.2 0.3 ?\n"
      "Wat1 . 0.4 0.5 0.6 0.5\n";
  const CTSCrystal crystal = Read(text);
  ASSERT_EQ(crystal.sites.size(), 2u);
  EXPECT_EQ(crystal.sites[0].label, "Li a");
  EXPECT_EQ(crystal.sites[0].atoms[0].symbol, "Li+1");
  EXPECT_EQ(crystal.sites[0].atoms[0].occupancy, 1.0);  // "?" means unknown: full occupancy
  EXPECT_EQ(crystal.sites[1].atoms[0].symbol, "O");     // water oxygen
  EXPECT_EQ(crystal.sites[1].atoms[0].occupancy, 0.5);
  EXPECT_TRUE(log.Contains("Warning: Unterminated string: 'unterminated'."));
  EXPECT_TRUE(log.Contains("Warning: Missing data value for tag: '_exptl_crystal_colour'."));
}

// Every form a number takes in real files, wherever the row puts it: uncertainties, fractions,
// exponents, bare points, quoted values, unknowns, rows broken over lines, CR LF line ends,
// and a last value that ends the text without a line end.
TEST(CifReading, NumberFormsAndRowLayouts) {
  const std::string rows =
      "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
      "_atom_site_U_iso_or_equiv\n_atom_site_occupancy\n"
      "A1 1.5(3) .5 -0.25 1e-3 ?\n"
      "A2 1/4 '0.125' \"-.5\" 2.5E-2(11) .\n"
      "A3\t0.1234567890123456789\n0.75\n  0.5\t0.01\n0.5\n"
      "A4 5. -0 +0.5 0.02 0.3";
  const std::string lf = Cif("_symmetry_space_group_name_H-M 'P 1'", rows);
  const CTSCrystal crystal = Read(lf);
  ASSERT_EQ(crystal.sites.size(), 4u);
  const auto& s = crystal.sites;
  EXPECT_EQ(s[0].x, 1.5);
  EXPECT_EQ(s[0].y, 0.5);
  EXPECT_EQ(s[0].z, -0.25);
  EXPECT_EQ(s[0].displacement->U(), 1e-3);
  EXPECT_EQ(s[0].atoms[0].occupancy, 1.0);
  EXPECT_EQ(s[1].x, 0.25);
  EXPECT_EQ(s[1].y, 0.125);
  EXPECT_EQ(s[1].z, -0.5);
  EXPECT_EQ(s[1].displacement->U(), 2.5e-2);
  EXPECT_EQ(s[1].atoms[0].occupancy, 1.0);
  EXPECT_EQ(s[2].x, 0.1234567890123456789);
  EXPECT_EQ(s[2].y, 0.75);
  EXPECT_EQ(s[2].atoms[0].occupancy, 0.5);
  EXPECT_EQ(s[3].x, 5.0);
  EXPECT_TRUE(std::signbit(s[3].y));
  EXPECT_EQ(s[3].z, 0.5);
  EXPECT_EQ(s[3].atoms[0].occupancy, 0.3);

  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const CTSCrystal fromCrlf = Read(crlf);
  ASSERT_EQ(fromCrlf.sites.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(fromCrlf.sites[i].label, s[i].label);
    EXPECT_EQ(fromCrlf.sites[i].positions, s[i].positions);
    EXPECT_EQ(fromCrlf.sites[i].atoms[0].occupancy, s[i].atoms[0].occupancy);
  }

  // Signs that do not make a number are refused, as from_chars and strtod refuse them.
  EXPECT_THROW(Read("data_x\n_cell_length_a 5\n_cell_length_b +-5\n_cell_length_c 5\n" + kOneAtom),
               CVHXFileCIFReadError);
  CRecordingStatusLog log;
  EXPECT_EQ(
      Read(Cif("", kOneAtom + "O1 1/0 0.5 0.5\nO2 --0.5 0.5 0.5\nO3 0.5 0.5 0.5\n")).sites.size(),
      2u);
  EXPECT_TRUE(log.Contains("Warning: The site 'O1' has invalid coordinates and has been deleted."));
  EXPECT_TRUE(log.Contains("Warning: The site 'O2' has invalid coordinates and has been deleted."));
}

// A long atom loop is read row by row into records sized from its first rows; what follows it
// (another loop, a long text field) must neither be taken for rows nor spoil the join by label.
TEST(CifReading, LongAtomLoopsAndTheirAnisotropicRows) {
  std::string atoms =
      "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
      "_atom_site_fract_z\n_atom_site_occupancy\n";
  for (int i = 0; i < 200; ++i)
    atoms += "C" + std::to_string(i) + " C 0." + std::to_string(1000 + i) + " 0.25 0.5 1\n";
  // A mixed site: two rows of one label at one position, the anisotropic row joining the first.
  atoms += "M1 Fe 0.1 0.2 0.3 0.6\nM1 Mn 0.1 0.2 0.3 0.4\n";
  atoms +=
      "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n"
      "_atom_site_aniso_U_33\n_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n"
      "_atom_site_aniso_U_23\n"
      "M1 0.01 0.02 0.03 0 0 0\nC7 0.01 0.01 0.01 0 0 0\n? 0.5 0.5 0.5 0 0 0\n"
      "loop_\n_atom_site_aniso_label\n_atom_site_aniso_B_11\n_atom_site_aniso_B_22\n"
      "_atom_site_aniso_B_33\n_atom_site_aniso_B_12\n_atom_site_aniso_B_13\n"
      "_atom_site_aniso_B_23\nC9 1 1 1 0 0 0\n"
      "_publ_section_comment\n;\n" +
      std::string(20000, 'x') + "\n;\n";
  const CTSCrystal crystal = Read(Cif("_symmetry_space_group_name_H-M 'P 1'", atoms));
  ASSERT_EQ(crystal.sites.size(), 201u);
  EXPECT_EQ(crystal.sites[123].label, "C123");
  EXPECT_EQ(crystal.sites[123].x, 0.1123);
  EXPECT_FALSE(crystal.sites[123].displacement);
  ASSERT_TRUE(crystal.sites[7].displacement && crystal.sites[7].displacement->IsAnisotropic());
  EXPECT_NEAR(crystal.sites[7].displacement->U(), 0.01, 1e-15);
  ASSERT_TRUE(crystal.sites[9].displacement && crystal.sites[9].displacement->IsAnisotropic());
  EXPECT_NEAR(crystal.sites[9].displacement->U(), 1.0 / (8 * M_PI * M_PI), 1e-15);
  const CTSSite& mixed = crystal.sites[200];
  ASSERT_EQ(mixed.atoms.size(), 2u);
  EXPECT_EQ(mixed.atoms[0].symbol, "Fe");
  EXPECT_EQ(mixed.atoms[1].symbol, "Mn");
  ASSERT_TRUE(mixed.displacement && mixed.displacement->IsAnisotropic());
  EXPECT_NEAR(mixed.displacement->U(), 0.02, 1e-15);
}

TEST(CifReading, SiteCompletionWarnings) {
  CRecordingStatusLog log;
  const std::string atoms =
      "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
      "_atom_site_U_iso_or_equiv\n_atom_site_calc_flag\n"
      "Fe1 0.1 0.2 0.3 0.01 d\n"
      "Fe2 0.1 ? 0.3 0.01 d\n"
      "Fe3 0.1 abc 0.3 0.01 d\n"
      "H1 -1 -1 -1 0.01 dum\n"
      "O1 1/4 0.5(3) 0.75 -0.02 d\n";
  const CTSCrystal crystal = Read(Cif("", atoms));
  ASSERT_EQ(crystal.sites.size(), 2u);
  EXPECT_EQ(crystal.sites[1].x, 0.25);
  EXPECT_EQ(crystal.sites[1].y, 0.5);
  EXPECT_FALSE(crystal.sites[1].displacement);
  EXPECT_TRUE(log.Contains("Warning: Missing one or more coordinates for site: 'Fe2'; discarding data."));
  EXPECT_TRUE(log.Contains("Warning: The site 'Fe3' has invalid coordinates and has been deleted."));
  EXPECT_TRUE(log.Contains("Warning: Invalid Uiso temperature factor (-0.0200) for site 'O1'; discarding data."));
  EXPECT_TRUE(log.Contains("'H1'"));
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 1");  // no symmetry at all
}

TEST(CifReading, FirstBlockWithCellAndAtomsIsRead) {
  const std::string text = "data_global\n_journal_year 2001\n" + Cif("_space_group_IT_number 221", kOneAtom) +
                           "data_second\n" + kCell + "loop_\n_atom_site_label\n_atom_site_fract_x\n"
                           "_atom_site_fract_y\n_atom_site_fract_z\nU1 0 0 0\n";
  CTSCrystal crystal;
  EXPECT_EQ(ReadCifCrystal(text, crystal).blockName, "test");
  EXPECT_EQ(crystal.sites[0].label, "Fe1");
  EXPECT_EQ(NumberOf(crystal), 221);
  EXPECT_EQ(AtomsInCell(crystal), 48u);
}

TEST(CifSymmetry, OperatorListWinsAndConflictsAreReported) {
  CRecordingAlertPresenter alerts;
  const std::string ops = "loop_\n_space_group_symop_operation_xyz\nx,y,z\n-x,y,1/2-z\n-x,-y,-z\nx,-y,1/2+z\n";
  const CTSCrystal crystal = Read(Cif("_space_group_name_H-M_alt 'P 2/m'\n" + ops, kOneAtom));
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 2/c");
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "Conflicting symmetry information.");

  // A list without the centring translations of its symbol gives way to the symbol.
  alerts.shown.clear();
  const CTSCrystal centred = Read(Cif("_symmetry_space_group_name_H-M 'C 2/c'\n"
                                      "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n-x,y,1/2-z\n-x,-y,-z\nx,-y,1/2+z\n",
                                      kOneAtom));
  EXPECT_EQ(NumberOf(centred), 15);
  EXPECT_EQ(AtomsInCell(centred), 8u);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "Conflicting lattice type information.");

  // So does a list of the identity alone.
  CRecordingStatusLog log;
  EXPECT_EQ(AtomsInCell(Read(ReadWholeFile(TestDataPath("halite.cif")))), 8u);
  EXPECT_TRUE(log.Contains("only part of spacegroup 'F m -3 m'"));
}

TEST(CifSymmetry, SymbolAndNumberFallBackOnEachOther) {
  CRecordingAlertPresenter alerts;
  const CTSCrystal byNumber = Read(Cif("_symmetry_space_group_name_H-M 'Q 9'\n_symmetry_Int_Tables_number 225", kOneAtom));
  EXPECT_EQ(NumberOf(byNumber), 225);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "The spacegroup symbol 'Q 9' is invalid.");
  EXPECT_NE(alerts.shown[0].explanation.find("A spacegroup of 'F m -3 m' will be used instead."), std::string::npos);
  const CTSCrystal unknownNumber = Read(Cif("_space_group_IT_number 300", kOneAtom));
  EXPECT_EQ(unknownNumber.spaceGroupSymbol, "P 1");
  EXPECT_EQ(alerts.shown.back().message, "Unknown spacegroup symbol 300.");
  EXPECT_EQ(Read(Cif("_symmetry_space_group_name_H-M 'F d -3 m {origin @ centre (-3m)}'", kOneAtom)).originChoice, 2);
}

TEST(CifWriting, LayoutOfTheWrittenFile) {
  const CTSCrystal quartz = Read(ReadWholeFile(TestDataPath("quartz.cif")));
  const std::string text = WriteCifText(quartz, "alpha quartz");
  EXPECT_EQ(text.substr(0, text.find('\n')), "data_alpha_quartz");
  EXPECT_NE(text.find("\n_audit_creation_method         'generated by Tessaline " TESSALINE_VERSION " for Windows'\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n_cell_length_a                   4.913400\n"), std::string::npos);
  EXPECT_NE(text.find("\n_cell_angle_gamma              120.000000\n"), std::string::npos);
  EXPECT_NE(text.find("\n_symmetry_space_group_name_H-M     'P 32 2 1'\n\nloop_\n_symmetry_equiv_pos_as_xyz\n+x,+y,+z\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n Si1  Si 1.000000  0.469700  0.000000  0.666667  0.006600\n"),
            std::string::npos);
  EXPECT_TRUE(LooksLikeCif(text));
  EXPECT_FALSE(LooksLikeCif("CELL 1 2 3 90 90 90\n"));
}

TEST(CifWriting, ProjectStructuresRoundTrip) {
  CRecordingAlertPresenter alerts;  // halite's list of the identity alone is reported
  for (const char* name : {"quartz.cif", "corundum.cif", "silicon.cif", "halite.cif", "rutile.cif"}) {
    SCOPED_TRACE(name);
    const CTSCrystal original = Read(ReadWholeFile(TestDataPath(name)));
    ExpectSameStructure(original, Read(WriteCifText(original, name)));
  }
}

TEST(CifWriting, MixedSitesRoundTrip) {
  CTSCrystal crystal = Read(Cif("_symmetry_space_group_name_H-M 'P m -3 m'", kOneAtom));
  CTSAtom magnesium = crystal.sites[0].atoms[0];
  magnesium.symbol = "Mg";
  crystal.sites[0].atoms[0].occupancy = 0.6;
  magnesium.occupancy = 0.4;
  crystal.sites[0].atoms.push_back(magnesium);
  ExpectSameStructure(crystal, Read(WriteCifText(crystal, "mixed")));
}

// The number of atoms in the cell that the reference library found, from the header of its
// X-ray values ("... atoms in cell: 72").
size_t ReferenceAtomsInCell(const std::string& name) {
  std::ifstream file(SharedDataPath() / "ref" / (name + ".xray.tsv"));
  const std::string marker = "atoms in cell: ";
  for (std::string line; std::getline(file, line) && line.starts_with("#");)
    if (const size_t at = line.find(marker); at != std::string::npos)
      return std::stoul(line.substr(at + marker.size()));
  return 0;
}

// Every public structure reads like the reference library read it: same space group, cell
// volume and number of atoms in the cell (under the legacy rules, the number those rules give,
// which the index states); and survives a write and a read.
TEST(CifReading, PublicStructuresAgreeWithTheReferenceReading) {
  SKIP_WITHOUT_SHARED_DATA();
  std::ifstream index(SharedDataPath() / "ref" / "INDEX.tsv");
  std::string line;
  std::getline(index, line);
  int files = 0;
  while (std::getline(index, line)) {
    std::istringstream fields(line);
    std::string name, set, status, symbol, number, centric, sites, atoms, reflexions, volume;
    for (std::string* field : {&name, &set, &status, &symbol, &number, &centric, &sites, &atoms, &reflexions, &volume})
      std::getline(fields, *field, '\t');
    SCOPED_TRACE(name);
    const std::string text = ReadWholeFile(SharedDataPath() / "cif" / (name + ".cif"));
    const CTSCrystal crystal = Read(text);
    EXPECT_EQ(NumberOf(crystal), std::stoi(number));
    EXPECT_NEAR(crystal.volume, std::stod(volume), 1e-3 * std::max(1.0, std::stod(volume) / 1000.0));
    EXPECT_EQ(AtomsInCell(crystal), ReferenceAtomsInCell(name));
    ExpectSameStructure(crystal, Read(WriteCifText(crystal, name)));
    const CLegacyRulesScope legacy(true);
    EXPECT_EQ(AtomsInCell(Read(text)), std::stoul(atoms));
    ++files;
  }
  EXPECT_GE(files, 36);
}

}  // namespace
