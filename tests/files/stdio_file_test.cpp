#include "files/stdio_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "errors/exceptions.h"
#include "files/tess_file.h"
#include "files/temp_file.h"

namespace {

using CTextFile = CVHStdioFile<CFile>;

TEST(StdioMode, FollowsTheOpenFlags) {
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeRead), "rtS");
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeRead | CFile::kTypeBinary), "rbS");
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeWrite | CFile::kModeCreate), "wtS");
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeWrite), "atS");
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeWrite | CFile::kModeCreate | CFile::kModeNoTruncate),
            "atS");
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeReadWrite), "r+tS");
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeReadWrite | CFile::kModeCreate), "w+tS");
  EXPECT_EQ(CTextFile::ModeString(CFile::kModeReadWrite | CFile::kModeCreate |
                                  CFile::kModeNoTruncate | CFile::kTypeBinary),
            "a+bS");
}

// Lines of `contents` read with a buffer of `size` bytes; -1 ends the list.
std::vector<std::string> Lines(CTextFile& file, size_t size) {
  std::vector<std::string> lines;
  std::vector<char> buffer(size + 1, '#');
  long stored;
  while ((stored = file.ReadLine(buffer.data(), size)) >= 0) {
    EXPECT_EQ(buffer[static_cast<size_t>(stored)], '\0');
    lines.emplace_back(buffer.data(), static_cast<size_t>(stored));
  }
  return lines;
}

// Reading from a mapped file (read-only) and through the stream (read-write).
class LineReading : public testing::TestWithParam<unsigned> {
 protected:
  std::vector<std::string> Read(std::string_view contents, size_t size = 256) {
    CTempFile temp(".txt", contents);
    CTextFile file;
    EXPECT_TRUE(file.Open(temp.Path(), GetParam()));
    return Lines(file, size);
  }
};

using Lines_ = std::vector<std::string>;

TEST_P(LineReading, EveryLineEndCounts) {
  EXPECT_EQ(Read("a\rb"), (Lines_{"a", "b"}));
  EXPECT_EQ(Read("a\r\nb\r\n"), (Lines_{"a", "b"}));
  EXPECT_EQ(Read("a\n\rb\n"), (Lines_{"a", "", "b"}));
  EXPECT_EQ(Read("a\r\r\nb"), (Lines_{"a", "", "b"}));
  EXPECT_EQ(Read("\n\n"), (Lines_{"", ""}));
  EXPECT_EQ(Read("last\r"), (Lines_{"last"}));
  EXPECT_EQ(Read(""), (Lines_{}));
}

TEST_P(LineReading, NulBytesAreDropped) {
  EXPECT_EQ(Read(std::string("a\0b\n\0\0\nc", 8)), (Lines_{"ab", "", "c"}));
  // Nothing stored and the data exhausted: the end, not an empty line.
  EXPECT_EQ(Read(std::string("x\n\0", 3)), (Lines_{"x"}));
}

TEST_P(LineReading, LongLinesKeepTheirStartAndTheNextReadStartsAfterTheLineEnd) {
  EXPECT_EQ(Read("abcdefg\r\nxy\rlonger line\nz", 4), (Lines_{"abc", "xy", "lon", "z"}));
  EXPECT_EQ(Read("abc\n", 1), (Lines_{""}));
  EXPECT_EQ(Read(std::string(100000, 'q') + "\nend"), (Lines_{std::string(255, 'q'), "end"}));
}

TEST_P(LineReading, StringLinesAndSkipping) {
  CTempFile temp(".txt", "first\r\nsecond line\rthird\n");
  CTextFile file;
  ASSERT_TRUE(file.Open(temp.Path(), GetParam()));
  EXPECT_TRUE(file.SkipLine());
  std::string line;
  EXPECT_TRUE(file.ReadLine(line, 6));
  EXPECT_EQ(line, "second");
  EXPECT_TRUE(file.ReadLine(line));
  EXPECT_EQ(line, "third");
  EXPECT_FALSE(file.ReadLine(line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(file.SkipLine());
}

INSTANTIATE_TEST_SUITE_P(Files, LineReading,
                         testing::Values(CFile::kModeRead, CFile::kModeReadWrite),
                         [](const testing::TestParamInfo<unsigned>& info) {
                           return std::string(info.param == CFile::kModeRead ? "Mapped" : "Stream");
                         });

TEST(StdioFile, ReadOnlyFilesAreScannedInMemory) {
  CTempFile temp(".txt", "abc\n");
  CTextFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  EXPECT_EQ(file.Mode(), "rtS");
  EXPECT_EQ(file.GetLength(), 4u);
  std::string line;
  EXPECT_TRUE(file.ReadLine(line));
  EXPECT_EQ(file.GetPosition(), 4u);
  EXPECT_THROW(file.WriteString("no"), CVHXMFC);
}

TEST(StdioFile, WritesTextAndFormattedValues) {
  CTempFile temp(".txt");
  {
    CTextFile file;
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite | CFile::kModeCreate));
    file.WriteString("CELL ");
    file.WriteFormatted("%8.4f %d %s\n", 4.9134, 3, "Si");
    file.Close();
  }
  EXPECT_EQ(temp.Contents(), "CELL   4.9134 3 Si\n");
  {
    CTextFile file;  // write without create appends
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite));
    file.WriteString("more\n");
    file.Close();
  }
  EXPECT_EQ(temp.Contents(), "CELL   4.9134 3 Si\nmore\n");
}

TEST(StdioFile, MissingFileFailsWithoutException) {
  CTextFile file;
  CFileError error;
  EXPECT_FALSE(file.Open("/nonexistent/tessaline.txt", CFile::kModeRead, &error));
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_EQ(error.path, "/nonexistent/tessaline.txt");
  CTextFile writer;
  EXPECT_FALSE(writer.Open("/nonexistent/dir/out.txt", CFile::kModeWrite | CFile::kModeCreate, &error));
  EXPECT_EQ(error.code, ENOENT);
}

TEST(StdioFile, OverTheProgramsFileClassReadsNumbersToo) {
  CTempFile temp(".txt", std::string("TSDF\x02\x00\x00\x00line\n", 13));
  for (const unsigned mode : {CFile::kModeRead, CFile::kModeReadWrite}) {
    CVHStdioFile<CTessFile> file;
    ASSERT_TRUE(file.Open(temp.Path(), mode));
    EXPECT_EQ(file.ReadTag(), MakeTag("TSDF"));
    EXPECT_EQ(file.ReadValue<uint32_t>(), 2u);
    std::string line;
    EXPECT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, "line");
    EXPECT_THROW(file.ReadValue<uint8_t>(), CVHXFileEOF);
    EXPECT_FALSE(file.CheckCRC());
  }
}

}  // namespace
