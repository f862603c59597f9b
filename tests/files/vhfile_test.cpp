#include "files/vhfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>

#include "app/crc32.h"
#include "errors/exceptions.h"
#include "files/temp_file.h"

namespace {

enum class Buffering { kMapped, kPrivate, kSmallWindow };

void Configure(CVHFile& file, Buffering buffering) {
  if (buffering != Buffering::kMapped) file.SetMappingAllowed(false);
  if (buffering == Buffering::kSmallWindow) file.SetBufferLimit(4096);
}

// Bytes whose value depends on their offset, so that a misplaced window shows at once.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values) bytes += static_cast<char>(value);
  return bytes;
}

class BufferedRead : public testing::TestWithParam<Buffering> {
 protected:
  void OpenWith(CVHFile& file, const CTempFile& temp) {
    Configure(file, GetParam());
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
    EXPECT_EQ(file.IsMapped(), GetParam() == Buffering::kMapped);
  }
};

TEST(Tags, ReadBigEndianWhateverTheByteOrder) {
  EXPECT_EQ(MakeTag("CRCK"), 0x4352434Bu);
  EXPECT_EQ(TagText(0x4352434B), "CRCK");
  CTempFile temp(".bin", "CRCKCRCK");
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  file.SetLittleEndian(true);
  EXPECT_EQ(file.ReadTag(), MakeTag("CRCK"));
  file.SetLittleEndian(false);
  EXPECT_EQ(file.ReadTag(), MakeTag("CRCK"));
}

TEST_P(BufferedRead, OneByteShortRaisesEndOfFile) {
  CTempFile temp(".bin", "abc");
  CVHFile file;
  OpenWith(file, temp);
  EXPECT_THROW(file.ReadTag(), CVHXFileEOF);
  file.Seek(0, CFile::kBegin);
  EXPECT_THROW(file.ReadValue<uint32_t>(), CVHXFileEOF);
  file.Seek(0, CFile::kBegin);
  EXPECT_THROW(file.ReadValue<float>(), CVHXFileEOF);
  file.Seek(0, CFile::kBegin);
  EXPECT_THROW(file.ReadUTF8(4), CVHXFileEOF);
  EXPECT_THROW(file.ReadUTF16(2), CVHXFileEOF);
  EXPECT_THROW(file.Skip(4), CVHXFileEOF);
  EXPECT_EQ(file.ReadUTF8(3), "abc");
  EXPECT_THROW(file.ReadValue<uint8_t>(), CVHXFileEOF);

  CTempFile seven(".bin", "1234567");
  CVHFile shortDouble;
  OpenWith(shortDouble, seven);
  EXPECT_THROW(shortDouble.ReadValue<double>(), CVHXFileEOF);
  // A damaged length must fail before anything is allocated.
  shortDouble.Seek(0, CFile::kBegin);
  EXPECT_THROW(shortDouble.ReadUTF8(std::numeric_limits<size_t>::max()), CVHXFileEOF);
  EXPECT_THROW(shortDouble.ReadUTF16(std::numeric_limits<size_t>::max()), CVHXFileEOF);
}

TEST_P(BufferedRead, EmptyFileReadsNothing) {
  CTempFile temp(".bin");
  CVHFile file;
  Configure(file, GetParam());
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  EXPECT_EQ(file.BufferCapacity(), 0u);
  EXPECT_EQ(file.GetLength(), 0u);
  EXPECT_THROW(file.ReadValue<uint8_t>(), CVHXFileEOF);
}

TEST_P(BufferedRead, ReadsCrossingTheWindowKeepEveryByte) {
  const std::string contents = Pattern(64 * 1024 + 13);
  CTempFile temp(".bin", contents);
  CVHFile file;
  OpenWith(file, temp);
  std::string back;
  char piece[7];
  while (back.size() + sizeof piece <= contents.size()) {
    file.ReadExact(piece, sizeof piece);
    back.append(piece, sizeof piece);
  }
  back += file.ReadUTF8(contents.size() - back.size());
  EXPECT_EQ(back, contents);
  EXPECT_THROW(file.ReadValue<uint8_t>(), CVHXFileEOF);

  // A block larger than the window goes straight to the caller, then small reads resume.
  file.Seek(5, CFile::kBegin);
  std::string block(40000, '\0');
  file.ReadExact(block.data(), block.size());
  EXPECT_EQ(block, contents.substr(5, block.size()));
  EXPECT_EQ(file.ReadValue<uint8_t>(), static_cast<uint8_t>(contents[40005]));
  EXPECT_EQ(file.GetPosition(), 40006u);
}

TEST_P(BufferedRead, SeeksInsideAndOutsideTheWindow) {
  const std::string contents = Pattern(50000);
  CTempFile temp(".bin", contents);
  CVHFile file;
  OpenWith(file, temp);
  auto byteAt = [&](size_t i) { return static_cast<uint8_t>(contents[i]); };
  file.Skip(100);
  EXPECT_EQ(file.ReadValue<uint8_t>(), byteAt(100));
  EXPECT_EQ(file.Seek(10, CFile::kBegin), 10u);  // inside
  EXPECT_EQ(file.ReadValue<uint8_t>(), byteAt(10));
  EXPECT_EQ(file.Seek(45000, CFile::kBegin), 45000u);  // outside a small window
  EXPECT_EQ(file.ReadValue<uint8_t>(), byteAt(45000));
  EXPECT_EQ(file.Seek(-1001, CFile::kCurrent), 44000u);
  EXPECT_EQ(file.ReadValue<uint8_t>(), byteAt(44000));
  EXPECT_EQ(file.Seek(-1, CFile::kEnd), 49999u);
  EXPECT_EQ(file.ReadValue<uint8_t>(), byteAt(49999));
  // A 4-byte value straddling a window boundary.
  file.Seek(4094, CFile::kBegin);
  file.SetLittleEndian(false);
  EXPECT_EQ(file.ReadValue<uint32_t>(),
            uint32_t{byteAt(4094)} << 24 | uint32_t{byteAt(4095)} << 16 |
                uint32_t{byteAt(4096)} << 8 | byteAt(4097));
  // Past the end is a position, not data; before the start is an error.
  EXPECT_EQ(file.Seek(60000, CFile::kBegin), 60000u);
  EXPECT_THROW(file.ReadValue<uint8_t>(), CVHXFileEOF);
  EXPECT_THROW(file.Seek(-1, CFile::kBegin), CVHXFile);
}

std::string BufferingName(const testing::TestParamInfo<Buffering>& info) {
  switch (info.param) {
    case Buffering::kMapped:
      return "Mapped";
    case Buffering::kPrivate:
      return "Private";
    default:
      return "SmallWindow";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, BufferedRead,
                         testing::Values(Buffering::kMapped, Buffering::kPrivate,
                                         Buffering::kSmallWindow),
                         BufferingName);

template <class T>
void WriteAndCheckBytes(bool littleEndian, T value, const std::string& bigEndianBytes) {
  CTempFile temp;
  {
    CVHFile file;
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite | CFile::kModeCreate));
    file.SetLittleEndian(littleEndian);
    file.WriteValue(value);
    file.Close();
  }
  const std::string expected =
      littleEndian ? std::string(bigEndianBytes.rbegin(), bigEndianBytes.rend()) : bigEndianBytes;
  EXPECT_EQ(temp.Contents(), expected);
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  file.SetLittleEndian(littleEndian);
  const T back = file.ReadValue<T>();
  if constexpr (std::is_floating_point_v<T>) {
    if (std::isnan(value)) {
      EXPECT_TRUE(std::isnan(back));
      return;
    }
  }
  EXPECT_EQ(back, value);
}

class ByteOrder : public testing::TestWithParam<bool> {};

TEST_P(ByteOrder, EveryPrimitiveRoundTripsWithTheRightBytes) {
  const bool little = GetParam();
  WriteAndCheckBytes<uint8_t>(little, 0xA5, Bytes({0xA5}));
  WriteAndCheckBytes<int8_t>(little, -2, Bytes({0xFE}));
  WriteAndCheckBytes<int16_t>(little, -2, Bytes({0xFF, 0xFE}));
  WriteAndCheckBytes<uint16_t>(little, 0x1234, Bytes({0x12, 0x34}));
  WriteAndCheckBytes<int32_t>(little, -123456789, Bytes({0xF8, 0xA4, 0x32, 0xEB}));
  WriteAndCheckBytes<uint32_t>(little, 0x01020304, Bytes({1, 2, 3, 4}));
  WriteAndCheckBytes<uint64_t>(little, 0x0102030405060708, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  WriteAndCheckBytes<float>(little, 1.0f, Bytes({0x3F, 0x80, 0, 0}));
  WriteAndCheckBytes<float>(little, -0.15625f, Bytes({0xBE, 0x20, 0, 0}));
  WriteAndCheckBytes<double>(little, 1.0, Bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
  WriteAndCheckBytes<double>(little, -2.5, Bytes({0xC0, 0x04, 0, 0, 0, 0, 0, 0}));
  WriteAndCheckBytes<double>(little, std::numeric_limits<double>::quiet_NaN(),
                             Bytes({0x7F, 0xF8, 0, 0, 0, 0, 0, 0}));
}

TEST_P(ByteOrder, TextsConvertToUTF8) {
  const bool little = GetParam();
  // "Å", "→", the G clef (a surrogate pair), then a lone high surrogate.
  const std::string be = Bytes({0x00, 0xC5, 0x21, 0x92, 0xD8, 0x34, 0xDD, 0x1E, 0xD8, 0x00});
  std::string bytes = be;
  if (little)
    for (size_t i = 0; i < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  CTempFile temp(".bin", bytes + "a\xC3\xA9\xFF" "b");
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  file.SetLittleEndian(little);
  EXPECT_EQ(file.ReadUTF16(5), "\u00C5\u2192\U0001D11E\uFFFD");
  // Valid UTF-8 passes; a byte that cannot start a sequence becomes U+FFFD.
  EXPECT_EQ(file.ReadUTF8(5), "a\u00E9\uFFFDb");
}

INSTANTIATE_TEST_SUITE_P(Files, ByteOrder, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "LittleEndian" : "BigEndian");
                         });

TEST(Encoding, MacRomanBytesBecomeTheirCharacters) {
  CTempFile temp(".bin", "Fe2+ \x80\xA5\xB5\xD0\xDB\xF0\xFF");
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  EXPECT_EQ(file.ReadMacRoman(12), "Fe2+ \u00C4\u2022\u00B5\u2013\u20AC\uF8FF\u02C7");
}

TEST(CRC, MatchesThePublishedCheckValue) {
  EXPECT_EQ(CCRC32::Of("123456789", 9), 0xFC891918u);
  EXPECT_EQ(CCRC32::Of("", 0), 0u);
  // Running updates give the same as one pass.
  const uint32_t running = CCRC32::Update(CCRC32::Update(CCRC32::kInitial, "1234", 4), "56789", 5);
  EXPECT_EQ(~running, 0xFC891918u);
}

TEST(CRC, LongBuffersGiveWhatTheBytewiseRuleGives) {
  // The rule itself, a bit at a time.
  const auto bitwise = [](const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (const char c : bytes) {
      crc ^= static_cast<uint32_t>(static_cast<uint8_t>(c)) << 24;
      for (int bit = 0; bit < 8; ++bit) crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    return ~crc;
  };
  std::string bytes(1000, '\0');
  uint32_t seed = 12345;
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  for (const size_t start : {0, 1, 3, 7})
    for (const size_t length : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 500, 993}) {
      const std::string piece = bytes.substr(start, length);
      EXPECT_EQ(CCRC32::Of(piece.data(), piece.size()), bitwise(piece)) << start << " " << length;
    }
}

TEST(CRC, TrailerIsWrittenCheckedAndMissingOnesPass) {
  CTempFile temp;
  {
    CVHFile file;
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite | CFile::kModeCreate));
    file.SetLittleEndian(false);
    file.WriteUTF8("123456789");
    file.WriteCRC();
    file.Close();
  }
  EXPECT_EQ(temp.Contents(), "123456789CRCK" + Bytes({0xFC, 0x89, 0x19, 0x18}));
  for (const bool mapped : {true, false}) {
    CVHFile file;
    file.SetMappingAllowed(mapped);
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
    file.SetLittleEndian(false);
    file.Skip(3);
    EXPECT_TRUE(file.CheckCRC());
    EXPECT_EQ(file.GetPosition(), 3u);  // kept
  }

  std::string flipped = temp.Contents();
  flipped[4] ^= 0x10;
  CTempFile damaged(".bin", flipped);
  CVHFile file;
  ASSERT_TRUE(file.Open(damaged.Path(), CFile::kModeRead));
  file.SetLittleEndian(false);
  EXPECT_THROW(file.CheckCRC(), CVHXFileCRCFailed);

  for (const std::string contents : {"", "1234567", "123456789 no trailer here"}) {
    CTempFile plain(".bin", contents);
    CVHFile unchecked;
    ASSERT_TRUE(unchecked.Open(plain.Path(), CFile::kModeRead));
    EXPECT_FALSE(unchecked.CheckCRC());
  }
}

TEST(CRC, CoversFilesLargerThanAReadBackPiece) {
  const std::string contents = Pattern(2'500'000);
  CTempFile temp;
  {
    CVHFile file;
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite | CFile::kModeCreate));
    file.WriteBytes(contents.data(), contents.size());
    file.WriteCRC();  // little-endian
    file.Close();
  }
  const std::string written = temp.Contents();
  ASSERT_EQ(written.size(), contents.size() + 8);
  const uint32_t crc = CCRC32::Of(contents.data(), contents.size());
  EXPECT_EQ(written.substr(contents.size()),
            "CRCK" + Bytes({static_cast<int>(crc & 0xFF), static_cast<int>(crc >> 8 & 0xFF),
                            static_cast<int>(crc >> 16 & 0xFF), static_cast<int>(crc >> 24)}));
  CVHFile file;
  file.SetMappingAllowed(false);
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  EXPECT_TRUE(file.CheckCRC());
}

class Writing : public testing::TestWithParam<size_t> {};

TEST_P(Writing, BackPatchedBlocksReadBack) {
  // A small window puts the length fields outside it by the time they are patched.
  CTempFile temp;
  const std::string payload = Pattern(9000);
  {
    CVHFile file;
    file.SetBufferLimit(GetParam());
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite | CFile::kModeCreate));
    const uint64_t outer = file.BeginBlock(MakeTag("PATS"));
    const uint64_t inner = file.BeginBlock(MakeTag("PNTS"));
    file.WriteValue<uint32_t>(7);
    file.WriteBytes(payload.data(), payload.size());
    file.BackPatchLength(inner);
    EXPECT_EQ(file.WriteUTF8("Quartz \u00C5"), 9u);
    file.BackPatchLength(outer);
    file.WriteTag(MakeTag("STOP"));
    file.Close();
  }
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  EXPECT_EQ(file.GetLength(), 8u + 8u + 4u + payload.size() + 9u + 4u);
  EXPECT_EQ(file.ReadTag(), MakeTag("PATS"));
  EXPECT_EQ(file.ReadValue<uint32_t>(), 8u + 4u + payload.size() + 9u);
  EXPECT_EQ(file.ReadTag(), MakeTag("PNTS"));
  EXPECT_EQ(file.ReadValue<uint32_t>(), 4u + payload.size());
  EXPECT_EQ(file.ReadValue<uint32_t>(), 7u);
  std::string back(payload.size(), '\0');
  file.ReadExact(back.data(), back.size());
  EXPECT_EQ(back, payload);
  EXPECT_EQ(file.ReadUTF8(9), "Quartz \u00C5");
  EXPECT_EQ(file.ReadTag(), MakeTag("STOP"));
  EXPECT_THROW(file.ReadTag(), CVHXFileEOF);
}

INSTANTIATE_TEST_SUITE_P(Files, Writing, testing::Values(4096, CVHFile::kMaxBufferSize));

TEST(Writing, UpdatesInPlaceAndReadsWhatItWrote) {
  CTempFile temp(".bin", Pattern(20000));
  CVHFile file;
  file.SetBufferLimit(4096);
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeReadWrite));
  file.Seek(10000, CFile::kBegin);
  file.WriteValue<uint32_t>(0xDEADBEEF);
  file.Seek(0, CFile::kBegin);
  file.WriteUTF8("head");
  file.Seek(10000, CFile::kBegin);
  EXPECT_EQ(file.ReadValue<uint32_t>(), 0xDEADBEEFu);
  file.Seek(0, CFile::kEnd);
  file.WriteUTF8("tail");
  EXPECT_EQ(file.GetLength(), 20004u);
  file.Close();
  std::string expected = Pattern(20000);
  expected.replace(0, 4, "head");
  expected.replace(10000, 4, Bytes({0xEF, 0xBE, 0xAD, 0xDE}));
  EXPECT_EQ(temp.Contents(), expected + "tail");
}

TEST(Writing, ReadOnlyFilesRefuseWrites) {
  CTempFile temp(".bin", "data");
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  EXPECT_THROW(file.WriteValue<uint32_t>(1), CVHXFile);
  file.Close();
  EXPECT_THROW(file.ReadValue<uint8_t>(), CVHXFileNotOpen);
}

TEST(Opening, MissingFileFailsWithTheReason) {
  CVHFile file;
  CFileError error;
  EXPECT_FALSE(file.Open("/nonexistent/tessaline/file.vhdf", CFile::kModeRead, &error));
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_EQ(error.path, "/nonexistent/tessaline/file.vhdf");
  EXPECT_FALSE(file.IsOpen());
}

TEST(Opening, StartsFromTheFormatsByteOrderAndDefaults) {
  class CBigEndianFile : public CVHFile {
   public:
    bool IsBigEndian() const override { return true; }
  };
  CTempFile temp(".bin", "x");
  CBigEndianFile file;
  EXPECT_EQ(file.FileTag(), MakeTag("    "));
  EXPECT_TRUE(file.WrittenOnWindows());
  EXPECT_FALSE(file.HeaderRead());
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead | CFile::kTypeBinary));
  EXPECT_FALSE(file.IsLittleEndian());
  EXPECT_EQ(file.GetOpenFlags(), CFile::kModeRead | CFile::kTypeBinary);
  EXPECT_EQ(file.GetDisplayName(), std::filesystem::path(temp.Path()).filename().string());
  file.SetDisplayName("Quartz");
  EXPECT_EQ(file.GetDisplayName(), "Quartz");
}

TEST(Entries, CountRule) {
  CVHFile file;
  EXPECT_EQ(file.CountEntries(false), 1u);
  EXPECT_EQ(file.CountEntries(true), 1u);
  file.Entries() = {{1, 0}, {2, 1}, {3, 1}};
  EXPECT_EQ(file.CountEntries(true), 3u);
  EXPECT_EQ(file.CountEntries(false), 2u);
}

TEST(Rect, ReadsTopLeftBottomRight) {
  CTempFile temp(".bin", Bytes({0, 1, 0, 2, 0xFF, 0xFF, 0, 4}));
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  file.SetLittleEndian(false);
  const CVHRect rect = file.ReadRect();
  EXPECT_EQ(rect.top, 1);
  EXPECT_EQ(rect.left, 2);
  EXPECT_EQ(rect.bottom, -1);
  EXPECT_EQ(rect.right, 4);
}

}  // namespace
