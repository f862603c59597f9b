#include "files/tess_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "errors/exceptions.h"
#include "files/temp_file.h"

namespace {

using Ids = std::vector<unsigned>;

TEST(FileTypes, TableRows) {
  EXPECT_EQ(CTessFile::Extensions(1), (std::vector<std::string>{".vhdf", ".crystal"}));
  EXPECT_EQ(CTessFile::Extensions(39), (std::vector<std::string>{".vasp", ".poscar", ".contcar"}));
  EXPECT_EQ(CTessFile::Extensions(57), (std::vector<std::string>{".txt", ".text"}));
  EXPECT_TRUE(CTessFile::Extensions(49).empty());
  EXPECT_TRUE(CTessFile::Extensions(0).empty());
  const CTessFileType* cif = CTessFile::TypeInfo(22);
  ASSERT_NE(cif, nullptr);
  EXPECT_EQ(cif->filterText, "CIF Crystal Data File (*.cif)");
  EXPECT_EQ(cif->defaultName, "New Crystal");
  EXPECT_EQ(cif->registeredName, "Tess.CIF");
  EXPECT_EQ(CTessFile::TypeInfo(11)->registeredName, "Tess.Session-1");
  EXPECT_EQ(CTessFile::TypeInfo(15)->defaultName, "New Structure Factors");
  EXPECT_EQ(CTessFile::TypeInfo(61), nullptr);
}

TEST(FileTypes, CandidatesByExtensionInTableOrder) {
  EXPECT_EQ(CTessFile::CandidateTypes("/data/pattern.txt"), (Ids{12, 13, 14, 15, 57}));
  EXPECT_EQ(CTessFile::CandidateTypes("/data/PATTERN.TxT"), (Ids{12, 13, 14, 15, 57}));
  EXPECT_EQ(CTessFile::CandidateTypes("quartz.cif"), (Ids{22}));
  EXPECT_EQ(CTessFile::CandidateTypes("old.vhdf"), (Ids{1, 6}));
  EXPECT_EQ(CTessFile::CandidateTypes("model.str"), (Ids{19, 37}));
  EXPECT_EQ(CTessFile::CandidateTypes("clip.mov"), (Ids{52, 53}));
  EXPECT_TRUE(CTessFile::CandidateTypes("README").empty());
  EXPECT_TRUE(CTessFile::CandidateTypes("dir.cif/README").empty());
  EXPECT_TRUE(CTessFile::CandidateTypes("/data/.txt").empty());
}

TEST(FileTypes, MoleculeTypes) {
  Ids molecules;
  for (unsigned id = 0; id <= 60; ++id)
    if (CTessFile::IsMoleculeType(id)) molecules.push_back(id);
  EXPECT_EQ(molecules, (Ids{2, 5, 7, 21, 31, 32, 35, 42}));
}

// Stand-in formats: each probe logs its call and recognises files starting with its word.
Ids g_probed;

template <unsigned Id>
unsigned StartsWithWord(const std::string& path) {
  g_probed.push_back(Id);
  std::ifstream in(path);
  std::string word;
  in >> word;
  return word == "type" + std::to_string(Id) ? Id : 0;
}

unsigned Throws(const std::string&) {
  g_probed.push_back(11);
  throw CVHXFileEOF();
}

class Detection : public testing::Test {
 protected:
  void SetUp() override { g_probed.clear(); }
  // Each registration lasts for one test.
  CTessFile::CRegistrar m_session{{10}, &StartsWithWord<10>, &CTessFile::Make<CTessFile>};
  CTessFile::CRegistrar m_legacy{{11}, &Throws, nullptr};
  CTessFile::CRegistrar m_data{{12}, &StartsWithWord<12>, &CTessFile::Make<CTessFile>};
  CTessFile::CRegistrar m_cif{{22}, &StartsWithWord<22>, &CTessFile::Make<CTessFile>};
  CTessFile::CRegistrar m_profile{{13}, &StartsWithWord<13>, nullptr};
};

TEST_F(Detection, MissingPathIsUnknown) {
  EXPECT_EQ(CTessFile::DetermineType("/nonexistent/quartz.cif"), 0u);
  EXPECT_TRUE(g_probed.empty());
}

TEST_F(Detection, SingleCandidateIsTakenWithoutReadingUnlessForced) {
  CTempFile cif(".cif", "type12 looks like data");
  EXPECT_EQ(CTessFile::DetermineType(cif.Path()), 22u);
  EXPECT_TRUE(g_probed.empty());
  // Forced: the candidate's probe refuses, so the fixed order decides.
  EXPECT_EQ(CTessFile::DetermineType(cif.Path(), true), 12u);
  EXPECT_EQ(g_probed, (Ids{22, 10, 11, 12}));
}

TEST_F(Detection, SeveralCandidatesAreProbedInTheFixedOrder) {
  CTempFile text(".txt", "type13\n");
  // Profile recognises it, but no file object can be made for it: unknown.
  EXPECT_EQ(CTessFile::DetermineType(text.Path()), 0u);
  EXPECT_EQ(g_probed, (Ids{10, 11, 12, 22, 13}));
  g_probed.clear();
  text.Write("type22\n");
  EXPECT_EQ(CTessFile::DetermineType(text.Path()), 22u);
  EXPECT_EQ(g_probed, (Ids{10, 11, 12, 22}));
  g_probed.clear();
  text.Write("type22\n");
  EXPECT_EQ(CTessFile::DetermineType(text.Path(), true), 22u);
  EXPECT_EQ(g_probed, (Ids{12, 13, 10, 11, 12, 22}));  // candidates first, then the order
}

TEST_F(Detection, UnservedTypesAreUnknown) {
  CTempFile elements(".vhef", "VHEF");
  EXPECT_EQ(CTessFile::DetermineType(elements.Path()), 0u);
  EXPECT_EQ(CTessFile::Create(8), nullptr);
  CTempFile nothing(".xyz123", "nothing");
  EXPECT_EQ(CTessFile::DetermineType(nothing.Path()), 0u);
}

TEST_F(Detection, CreationGivesTheKindAndRegistrationsEnd) {
  const auto file = CTessFile::Create(12);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Kind(), 12u);
  {
    // A later registration of the same id takes precedence while it lives.
    CTessFile::CRegistrar other({12}, nullptr, nullptr);
    EXPECT_EQ(CTessFile::Create(12), nullptr);
  }
  EXPECT_NE(CTessFile::Create(12), nullptr);
}

}  // namespace
