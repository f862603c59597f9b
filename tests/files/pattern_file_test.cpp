#include "files/pattern_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "crystal/crystal.h"
#include "files/tess_file.h"
#include "support/data_files.h"

namespace {

// A stand-in for the binary crystal format until its reader exists: files that begin with
// "VHDF" are type 1.
unsigned RecogniseVHDF(const std::string& path) {
  return ReadWholeFile(path).starts_with("VHDF") ? 1 : 0;
}

TEST(PatternFromFilePath, TypeDecidesTheKind) {
  EXPECT_EQ(NewPatternFromFilePath("/nonexistent/quartz.vhdf"), nullptr);

  const CTessFile::CRegistrar binary({1}, &RecogniseVHDF, &CTessFile::Make<CTessFile>);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "tessaline-pattern-from-path";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "quartz.vhdf").string();
  std::ofstream(path) << "VHDF and more";
  const auto pattern = NewPatternFromFilePath(path);
  std::filesystem::remove_all(folder);
  ASSERT_NE(pattern, nullptr);
  EXPECT_EQ(pattern->GetKind(), CTSPattern::kCrystal);
  EXPECT_EQ(pattern->Title(), "quartz");
  EXPECT_EQ(pattern->Path(), path);
  EXPECT_TRUE(pattern->Crystal()->sites.empty());  // nothing is read beyond the type

  // A CIF (type 22) is not taken here.
  testing::internal::CaptureStderr();
  EXPECT_EQ(NewPatternFromFilePath(TestDataPath("quartz.cif").string()), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "NewPatternFromFilePath() : File '" + TestDataPath("quartz.cif").string() +
                "' has unsupported file type: 0x00000016.\n");
}

}  // namespace
