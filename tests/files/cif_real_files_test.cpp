// What real CIFs do that the plain rules did not foresee: Hall symbols, groups with two origins
// and no word on which, angles left out, sloppy numbers, impossible tensors and cells, and the
// heavy hydrogens. Each case is a small structure of our own that showed the fault.
#include <gtest/gtest.h>

#include <string>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "errors/exceptions.h"
#include "files/cif_file.h"
#include "support/recorders.h"

namespace {

CTSCrystal Read(const std::string& text) {
  CTSCrystal crystal;
  ReadCifCrystal(text, crystal);
  return crystal;
}

const CTSSite& Site(const CTSCrystal& crystal, const std::string& label) {
  for (const CTSSite& site : crystal.sites)
    if (site.label == label) return site;
  ADD_FAILURE() << "no site " << label;
  return crystal.sites.front();
}

// Spinel, MgAl2O4, a = 8.0832 Angstrom, with the coordinates of origin choice 2 (the centre of
// symmetry at the origin): Mg on 8a (1/8, 1/8, 1/8), Al on 16d (1/2, 1/2, 1/2), O on 32e with
// u = 0.2624. `extra` adds symmetry items; `columns` and `rows` extra site columns.
std::string Spinel(const std::string& extra, const std::string& columns = "",
                   const std::array<std::string, 3>& rows = {}) {
  return "data_spinel\n_cell_length_a 8.0832\n_cell_length_b 8.0832\n_cell_length_c 8.0832\n"
         "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
         "_symmetry_space_group_name_H-M 'F d -3 m'\n" +
         extra + "\nloop_\n_atom_site_label\n_atom_site_type_symbol\n" + columns +
         "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
         "Mg1 Mg " +
         rows[0] + " 0.125 0.125 0.125\nAl1 Al " + rows[1] + " 0.5 0.5 0.5\nO1 O " + rows[2] +
         " 0.2624 0.2624 0.2624\n";
}

void ExpectSpinelInOriginTwo(const CTSCrystal& spinel) {
  EXPECT_EQ(spinel.originChoice, 2);
  EXPECT_EQ(Site(spinel, "Mg1").Multiplicity(), 8u);
  EXPECT_EQ(Site(spinel, "Al1").Multiplicity(), 16u);
  EXPECT_EQ(Site(spinel, "O1").Multiplicity(), 32u);
  EXPECT_NEAR(spinel.density / 1000.0, 3.58, 0.01);
}

TEST(CifHallSymbol, FixesTheOriginThatTheSymbolLeavesOpen) {
  {
    // The Hall symbol completes a symbol that states no origin: nothing to warn about.
    CRecordingStatusLog log;
    ExpectSpinelInOriginTwo(Read(Spinel("_symmetry_space_group_name_Hall '-F 4vw 2vw 3'")));
    ExpectSpinelInOriginTwo(Read(Spinel("_space_group_name_Hall  '-F 4vw 2vw 3'")));
    EXPECT_FALSE(log.Contains("different settings"));
  }
  // Read as origin 1, aluminium on a centre of symmetry of the other origin gets half its atoms.
  CRecordingStatusLog log;
  EXPECT_EQ(Site(Read(Spinel("")), "Al1").Multiplicity(), 8u);
  EXPECT_FALSE(log.Contains("origin"));  // nothing in the file tells the origins apart
}

TEST(CifHallSymbol, ASymbolThatStatesAnotherOriginOrGroupIsLogged) {
  auto spinelAs = [](const std::string& symbol, const std::string& hall) {
    std::string text = Spinel("_symmetry_space_group_name_Hall '" + hall + "'");
    text.replace(text.find("'F d -3 m'"), 10, "'" + symbol + "'");
    CRecordingStatusLog log;
    ExpectSpinelInOriginTwo(Read(text));
    return log.Contains("describe different settings");
  };
  EXPECT_FALSE(spinelAs("F d -3 m :2", "-F 4vw 2vw 3"));
  EXPECT_TRUE(spinelAs("F d -3 m :1", "-F 4vw 2vw 3"));
  EXPECT_TRUE(spinelAs("F m -3 m", "-F 4vw 2vw 3"));
  // Corundum's symbol without an axes suffix on hexagonal axes, as the Hall symbol has them.
  CRecordingStatusLog log;
  const CTSCrystal corundum = Read(
      "data_c\n_cell_length_a 4.759\n_cell_length_b 4.759\n_cell_length_c 12.991\n"
      "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 120\n"
      "_symmetry_space_group_name_H-M 'R -3 c'\n_symmetry_space_group_name_Hall '-R 3 2\"c'\n"
      "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
      "Al1 0 0 0.35216\nO1 0.30624 0 0.25\n");
  EXPECT_EQ(Site(corundum, "Al1").Multiplicity(), 12u);
  EXPECT_EQ(Site(corundum, "O1").Multiplicity(), 18u);
  EXPECT_FALSE(log.Contains("different settings"));
}

TEST(CifHallSymbol, WinsOverAConflictingSymbolWithALogLine) {
  CRecordingStatusLog log;
  const CTSCrystal crystal = Read(
      "data_x\n_cell_length_a 5\n_cell_length_b 6\n_cell_length_c 7\n_cell_angle_alpha "
      "90\n_cell_angle_beta 100\n"
      "_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P "
      "21/n'\n_symmetry_space_group_name_Hall '-P 2ybc'\n"
      "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nFe1 "
      "0.1 0.2 0.3\n");
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 21/c");
  EXPECT_TRUE(
      log.Contains("Warning: The Hall symbol '-P 2ybc' and the spacegroup symbol 'P 21/n' describe "
                   "different settings; the Hall symbol is used."));
  // An unreadable Hall symbol is passed over for the other symbol.
  const CTSCrystal fallback = Read(Spinel("_symmetry_space_group_name_Hall '-F 9vw'"));
  EXPECT_TRUE(log.Contains("Warning: The Hall symbol '-F 9vw' cannot be read; it is ignored."));
  EXPECT_EQ(fallback.spaceGroupSymbol, "F d -3 m");
}

TEST(CifTwoOrigins, TheStatedContentChoosesTheOrigin) {
  {
    CRecordingStatusLog log;
    ExpectSpinelInOriginTwo(
        Read(Spinel("", "_atom_site_symmetry_multiplicity\n", {"8", "16", "32"})));
    EXPECT_TRUE(log.Contains("origin choice 2 is used, as the cell content it gives agrees"));
  }
  ExpectSpinelInOriginTwo(Read(Spinel("", "_atom_site_Wyckoff_symbol\n", {"8a", "16d", "32e"})));
  ExpectSpinelInOriginTwo(
      Read(Spinel("_chemical_formula_sum 'Al2 Mg O4'\n_cell_formula_units_Z 8")));
  // Written in origin 1 and saying so through the content, it stays there.
  const std::string origin1 =
      "data_x\n_cell_length_a 8.0832\n_cell_length_b 8.0832\n_cell_length_c 8.0832\n"
      "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
      "_symmetry_space_group_name_H-M 'F d -3 m'\n_chemical_formula_sum 'Al2 Mg O4'\n"
      "_cell_formula_units_Z 8\nloop_\n_atom_site_label\n_atom_site_fract_x\n"
      "_atom_site_fract_y\n_atom_site_fract_z\nMg1 0 0 0\nAl1 0.625 0.625 0.625\n"
      "O1 0.3874 0.3874 0.3874\n";
  EXPECT_EQ(Read(origin1).originChoice, 1);
  EXPECT_EQ(Site(Read(origin1), "Al1").Multiplicity(), 16u);
}

const std::string kAtom =
    "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nFe1 0.1 "
    "0.2 0.3\n";

TEST(CifCell, MissingAnglesAreRightAnglesButLengthsAreNeeded) {
  CRecordingStatusLog log;
  const CTSCrystal crystal = Read(
      "data_x\n_cell_length_a 5\n_cell_length_b 6\n_cell_length_c 7\n_cell_angle_beta 101.5\n" +
      kAtom);
  EXPECT_EQ(crystal.alpha, 90.0);
  EXPECT_EQ(crystal.beta, 101.5);
  EXPECT_EQ(crystal.gamma, 90.0);
  EXPECT_TRUE(log.Contains("Warning: No value for '_cell_angle_alpha'; 90 degrees is used."));
  EXPECT_TRUE(log.Contains("Warning: No value for '_cell_angle_gamma'; 90 degrees is used."));
  EXPECT_THROW(Read("data_x\n_cell_length_a 5\n_cell_length_c 7\n" + kAtom), CVHXFileCIFReadError);
}

TEST(CifCell, CellsThatCannotExistAreRefused) {
  auto cell = [](const std::string& lengths, const std::string& angles) {
    std::string text = "data_x\n";
    const char* names[] = {"_cell_length_a ",    "_cell_length_b ",   "_cell_length_c ",
                           "_cell_angle_alpha ", "_cell_angle_beta ", "_cell_angle_gamma "};
    std::string values = lengths + " " + angles;
    for (const char* name : names) {
      const size_t blank = values.find(' ');
      text += name + values.substr(0, blank) + "\n";
      values = blank == std::string::npos ? "" : values.substr(blank + 1);
    }
    return text + kAtom;
  };
  EXPECT_NO_THROW(Read(cell("5 6 7", "90 90 90")));
  // A protein or a long superstructure still fits.
  EXPECT_NO_THROW(Read(cell("5 6 20000", "90 90 90")));
  for (const auto& [lengths, angles] : {std::pair{"-5 6 7", "90 90 90"},
                                        {"5 6 1e20", "90 90 90"},
                                        {"1e200 1e200 1e200", "90 90 90"},
                                        {"5 1e-300 7", "90 90 90"},
                                        {"5 0 7", "90 90 90"},
                                        {"5 6 7", "0 90 90"},
                                        {"5 6 7", "90 180 90"},
                                        {"5 6 7", "10 10 170"},
                                        {"5 6 7", "120 120 120"}}) {
    SCOPED_TRACE(std::string(lengths) + " " + angles);
    try {
      Read(cell(lengths, angles));
      ADD_FAILURE() << "read";
    } catch (const CVHXFileImpossibleCell& e) {
      EXPECT_NE(e.Explanation().find("This file gives a = "), std::string::npos);
    }
  }
  EXPECT_THROW(Read(cell("5 6 1e999", "90 90 90")), CVHXFileCIFReadError);  // beyond any double
}

// Intensities go with the square of the occupancy: 1e200 made them infinite, a negative one
// has no meaning.
TEST(CifNumbers, ImpossibleOccupanciesAreRefused) {
  const std::string head =
      "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
      "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\n"
      "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
      "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\nFe1 Fe 0 0 0 1\n";
  EXPECT_NO_THROW(Read(head + "O1 O 0.5 0.5 0.5 1.02\n"));  // a refinement's rounding
  for (const char* occupancy : {"1e200", "-0.5", "11"}) {
    SCOPED_TRACE(occupancy);
    try {
      Read(head + "O1 O 0.5 0.5 0.5 " + occupancy + "\n");
      ADD_FAILURE() << "read";
    } catch (const CVHXFileImpossibleOccupancy& e) {
      EXPECT_NE(e.Explanation().find("The occupancy of O on site 'O1' is "), std::string::npos)
          << e.Explanation();
    }
  }
}

TEST(CifNumbers, SloppyValuesASiteCanDoWithoutAreReadOrDropped) {
  CRecordingStatusLog log;
  const CTSCrystal crystal = Read(
      "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha "
      "90\n_cell_angle_beta 90\n"
      "_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\n_space_group_IT_number seven\n"
      "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
      "_atom_site_U_iso_or_equiv\n_atom_site_occupancy\n"
      "A1 0.1 0.1 0.1 0.08* 1\nA2 0.2 0.2 0.2 0.035(4 0.5\nA3 0.3 0.3 0.3 0.l09(5) 1\nA4 0.4 0.4 "
      "0.4 0.01 1.x\n"
      "A5 0.5 0.5 0.5* 0.01 1\n");
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 1");
  EXPECT_TRUE(log.Contains(
      "Warning: The spacegroup number 'seven' of item '_space_group_it_number' is not a number"));
  EXPECT_NEAR(Site(crystal, "A1").displacement->U(), 0.08, 1e-15);
  EXPECT_TRUE(
      log.Contains("Warning: The value '0.08*' of item '_atom_site_u_iso_or_equiv' for site 'A1' "
                   "is read as 0.08."));
  EXPECT_NEAR(Site(crystal, "A2").displacement->U(), 0.035, 1e-15);
  EXPECT_EQ(Site(crystal, "A2").atoms[0].occupancy, 0.5);
  EXPECT_FALSE(Site(crystal, "A3").displacement);
  EXPECT_TRUE(log.Contains(
      "Warning: The value '0.l09(5)' of item '_atom_site_u_iso_or_equiv' for site 'A3' is not a "
      "number; it is ignored."));
  EXPECT_EQ(Site(crystal, "A4").atoms[0].occupancy, 1.0);  // a site without occupancy is full
  // Coordinates stay strict.
  EXPECT_EQ(crystal.sites.size(), 4u);
  EXPECT_TRUE(log.Contains("Warning: The site 'A5' has invalid coordinates and has been deleted."));
}

TEST(CifDisplacement, TensorsNoAtomCanHaveGiveWayToTheirIsotropicEquivalent) {
  CRecordingStatusLog log;
  const std::string aniso =
      "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n"
      "_atom_site_aniso_U_33\n_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n"
      "_atom_site_aniso_U_23\nFe1 0.01 0.02 0.03 0.05 0 0\n";
  const CTSCrystal crystal =
      Read("data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n" + kAtom + aniso);
  ASSERT_TRUE(crystal.sites[0].displacement);
  EXPECT_FALSE(crystal.sites[0].displacement->IsAnisotropic());
  EXPECT_NEAR(crystal.sites[0].displacement->U(), 0.02, 1e-15);
  EXPECT_TRUE(log.Contains(
      "Warning: The anisotropic displacement parameters of site 'Fe1' are not positive "
      "definite; their isotropic equivalent (Uiso 0.0200) is used."));
}

TEST(CifSpecies, HeavyHydrogensFindTheirOwnRecords) {
  const CTSCrystal crystal = Read(
      "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c "
      "5\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
      "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nD1 D0 0.1 0.1 0.1\nD2 . 0.2 0.2 "
      "0.2\n"
      "T1 . 0.3 0.3 0.3\nFe1 Fe0+ 0.4 0.4 0.4\nO1 O0- 0.5 0.5 0.5\n");
  const char* expected[][2] = {{"D1", "D"}, {"D2", "D"}, {"T1", "T"}, {"Fe1", "Fe"}, {"O1", "O"}};
  for (const auto& [label, symbol] : expected) {
    SCOPED_TRACE(label);
    const CTSAtom& atom = Site(crystal, label).atoms[0];
    EXPECT_EQ(atom.symbol, symbol);
    EXPECT_EQ(atom.scattering.symbol, symbol);
  }
  EXPECT_FLOAT_EQ(Site(crystal, "D1").atoms[0].scattering.b, 6.671f);
}

}  // namespace
