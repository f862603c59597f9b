#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/run_cli.h"
#include "files/crystal_files.h"
#include "support/data_files.h"

namespace {

TEST(InfoCommand, DescribesEachFile) {
  const CCliResult result = RunCli({"info", TestDataPath("quartz.cif").string(), TestDataPath("strontium_titanate.vhtx").string()});
  EXPECT_EQ(result.status, kExitSuccess);
  EXPECT_NE(result.out.find("Type:            CIF Crystal Data File (*.cif) (22)"), std::string::npos);
  EXPECT_NE(result.out.find("Cell:            4.9134 4.9134 5.4052  90.000 90.000 120.000"), std::string::npos);
  EXPECT_NE(result.out.find("Space group:     P 32 2 1 spacegroup (No. 154)"), std::string::npos);
  EXPECT_NE(result.out.find("Crystal system:  Trigonal"), std::string::npos);
  EXPECT_NE(result.out.find("  Si1       Si 1.0000                    0.46970   0.00000   0.66667     3  Uiso 0.0066"),
            std::string::npos);
  EXPECT_NE(result.out.find("Title:           strontium_titanate"), std::string::npos);
  EXPECT_NE(result.out.find("Crystal system:  Cubic"), std::string::npos);
}

TEST(InfoCommand, ReportsUnreadableFilesAndGoesOn) {
  const CCliResult result = RunCli({"info", "/no/such/file.cif", TestDataPath("halite.cif").string()});
  EXPECT_EQ(result.status, kExitFailure);
  EXPECT_EQ(result.err.find("/no/such/file.cif: Tessaline : [") , 0u) << result.err;
  EXPECT_NE(result.err.find("Unable to locate file."), std::string::npos) << result.err;
  EXPECT_NE(result.out.find("Title:           halite"), std::string::npos);
  EXPECT_EQ(RunCli({"info"}).status, kExitUsage);
}

TEST(InfoCommand, AValueThatCannotBeReadNamesItsLine) {
  const std::string cif = (std::filesystem::temp_directory_path() / "bad_value_test.cif").string();
  std::ofstream(cif) << "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c abc\n";
  const CCliResult result = RunCli({"info", cif});
  EXPECT_EQ(result.status, kExitFailure);
  EXPECT_EQ(result.err.find(cif + ":4: Tessaline : ["), 0u) << result.err;
  std::filesystem::remove(cif);
}

TEST(InfoCommand, WarningsNameTheirFileUnlessQuiet) {
  const std::string cif = (std::filesystem::temp_directory_path() / "verbose_test.cif").string();
  {
    std::ofstream(cif) << "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
                          "_cell_angle_beta 90\n_cell_angle_gamma 90\n_exptl_crystal_colour\n"
                          "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nFe1 0 0 0\n";
  }
  EXPECT_NE(RunCli({"info", cif})
                .err.find(cif + ": Warning: Missing data value for tag: '_exptl_crystal_colour'."),
            std::string::npos);
  EXPECT_EQ(RunCli({"info", cif, "--quiet"}).err, "");
  std::filesystem::remove(cif);
}

TEST(InfoCommand, LegacyRulesKeepImagesThatAreOneAtom) {
  // Silicon of quartz with z written to four decimals: three atoms, or four under the earlier
  // rules.
  const std::string cif =
      (std::filesystem::temp_directory_path() / "legacy_rules_test.cif").string();
  {
    std::ofstream(cif)
        << "data_x\n_cell_length_a 4.9134\n_cell_length_b 4.9134\n_cell_length_c 5.4052\n"
           "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 120\n"
           "_symmetry_space_group_name_H-M 'P 32 2 1'\n"
           "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
           "Si1 0.4697 0 0.6667\n";
  }
  const std::string physical = RunCli({"info", cif}).out;
  EXPECT_NE(physical.find("0.66670     3  none"), std::string::npos) << physical;
  const std::string legacy = RunCli({"info", cif, "--legacy-rules"}).out;
  EXPECT_NE(legacy.find("0.66670     4  none"), std::string::npos) << legacy;
  EXPECT_NE(RunCli({"--help"}).out.find("--legacy-rules"), std::string::npos);
  std::filesystem::remove(cif);
}

TEST(ConvertCommand, WritesTheFormatOfTheExtension) {
  const auto folder = std::filesystem::temp_directory_path();
  const std::string vhtx = (folder / "convert_test.vhtx").string();
  const std::string cif = (folder / "convert_test.cif").string();
  EXPECT_EQ(RunCli({"convert", TestDataPath("corundum.cif").string(), vhtx}).status, kExitSuccess);
  EXPECT_EQ(RunCli({"convert", vhtx, cif}).status, kExitSuccess);
  const CTSCrystal back = ReadCrystalFile(cif).crystal;
  EXPECT_EQ(back.spaceGroupSymbol, "R -3 c");
  EXPECT_NEAR(back.c, 12.991, 1e-4);
  EXPECT_EQ(back.sites.size(), 2u);
  EXPECT_EQ(RunCli({"convert", cif, (folder / "convert_test.xyz").string()}).status, kExitUsage);
  EXPECT_EQ(RunCli({"convert", cif}).status, kExitUsage);
  EXPECT_EQ(RunCli({"convert", "/no/such.cif", cif}).status, kExitFailure);
  std::filesystem::remove(vhtx);
  std::filesystem::remove(cif);
}

}  // namespace
