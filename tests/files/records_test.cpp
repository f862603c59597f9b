#include "files/records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "errors/exceptions.h"
#include "files/temp_file.h"

namespace {

enum class CTestAxis : uint32_t { kTwoTheta = 0, kDSpacing = 1, kEnergy = 4 };
enum class CTestVector : uint32_t { kDirect = 0, kReciprocal = 2 };

}  // namespace

template <>
struct CRecordTag<CTestAxis> {
  static constexpr uint32_t kTag = kTagAxisType;
};

namespace {

// Little-endian bytes of numbers, as a current file stores them.
template <class T>
std::string LE(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::string Record(std::string_view tag, std::string_view data) {
  return std::string(tag) + LE(static_cast<uint32_t>(data.size())) + std::string(data);
}

// Reads one stored value with CReader<T, S, T> from `bytes`, checking the bytes consumed.
template <class T, class S>
typename CVHFile::CReader<T, S, T>::Destination ReadOne(const std::string& bytes) {
  CTempFile temp(".bin", bytes);
  CVHFile file;
  EXPECT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  typename CVHFile::CReader<T, S, T>::Destination value{};
  CVHFile::CReader<T, S, T> reader(file, &value);
  EXPECT_EQ(reader.Read(), bytes.size());
  EXPECT_EQ(file.GetPosition(), bytes.size());
  return value;
}

TEST(Readers, ConvertEachStoredForm) {
  EXPECT_EQ((ReadOne<double, float>(LE(1.1f))), static_cast<double>(1.1f));
  EXPECT_EQ((ReadOne<float, float>(LE(-2.5f))), -2.5f);
  EXPECT_EQ((ReadOne<unsigned, float>(LE(3.99f))), 3u);
  EXPECT_EQ((ReadOne<int, int>(LE(-7))), -7);
  EXPECT_EQ((ReadOne<unsigned, unsigned>(LE(0xFFFFFFFFu))), 0xFFFFFFFFu);
  EXPECT_EQ((ReadOne<int, unsigned>(LE(0x7FFFFFFFu))), 0x7FFFFFFF);
  EXPECT_EQ((ReadOne<uint64_t, int>(LE(-1))), 0xFFFFFFFFFFFFFFFFull);  // sign-extended
  EXPECT_EQ((ReadOne<uint64_t, int>(LE(5))), 5u);
  EXPECT_EQ((ReadOne<int, unsigned char>("\xFF")), 255);  // zero-extended
  EXPECT_EQ((ReadOne<char, unsigned char>("A")), 'A');
  EXPECT_FALSE((ReadOne<bool, bool>(std::string(1, '\0'))));
  EXPECT_TRUE((ReadOne<bool, bool>("\x02")));
}

TEST(Readers, FloatsOutOfRangeNeverMisbehave) {
  EXPECT_EQ((ReadOne<unsigned, float>(LE(-2.5f))), 0u);
  EXPECT_EQ((ReadOne<unsigned, float>(LE(1e20f))), 0xFFFFFFFFu);
  EXPECT_EQ((ReadOne<unsigned, float>(LE(std::nanf("")))), 0u);
}

TEST(Readers, ColourBecomesARGB) {
  const std::string rgba = LE(1.0f) + LE(0.5f) + LE(0.0f) + LE(1.0f);
  EXPECT_EQ((ReadOne<CColor, CColor>(rgba)), 0xFFFF7F00u);  // 0.5 * 255 = 127.5 truncates
  const std::string clamped = LE(2.0f) + LE(-1.0f) + LE(std::nanf("")) + LE(0.2f);
  EXPECT_EQ((ReadOne<CColor, CColor>(clamped)), 0x33FF0000u);
}

TEST(Readers, EnumerationsTakeTheStoredValue) {
  EXPECT_EQ((ReadOne<CTestAxis, uint8_t>("\x04")), CTestAxis::kEnergy);
  EXPECT_EQ((ReadOne<CTestVector, int32_t>(LE(2))), CTestVector::kReciprocal);
}

TEST(Writers, WriteTagLengthAndValue) {
  CTempFile temp;
  {
    CVHFile file;
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite | CFile::kModeCreate));
    WriteFloatRecord(file, MakeTag("XMIN"), 2.0);
    WriteBoolRecord(file, MakeTag("LOG?"), true);
    WriteBoolRecord(file, MakeTag("*GRD"), false);
    WriteByteRecord(file, MakeTag("LIN#"), 3);
    WriteUInt32Record(file, MakeTag("NPTS"), 72000);
    WriteTextRecord(file, MakeTag("TITL"), "\u00C5ngstr\u00F6m");
    WriteEnumRecord(file, CTestAxis::kDSpacing);
    WriteColorRecord(file, MakeTag("COLR"), 0x80FF3300);
    file.Close();
  }
  const std::string expected =
      Record("XMIN", LE(2.0f)) + Record("LOG?", "\xFF") + Record("*GRD", std::string(1, '\0')) +
      Record("LIN#", "\x03") + Record("NPTS", LE(72000u)) + Record("TITL", "\u00C5ngstr\u00F6m") +
      Record("AXS#", "\x01") +
      Record("COLR", LE(1.0f) + LE(51 / 255.0f) + LE(0.0f) + LE(128 / 255.0f));
  EXPECT_EQ(temp.Contents(), expected);
}

TEST(Writers, ColoursRoundTripThroughTheReader) {
  CTempFile temp;
  {
    CVHFile file;
    ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeWrite | CFile::kModeCreate));
    for (uint32_t value = 0; value < 256; ++value)
      WriteColorRecord(file, MakeTag("COLR"), value << 24 | value << 16 | (255 - value) << 8 | value);
    file.Close();
  }
  CVHFile file;
  ASSERT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  for (uint32_t value = 0; value < 256; ++value) {
    ReadRecordHeader(file);
    uint32_t argb = 0;
    CVHFile::CReader<CColor, CColor, CColor>(file, &argb).Read();
    EXPECT_EQ(argb, value << 24 | value << 16 | (255 - value) << 8 | value);
  }
}

// A plot-like block: a few typed fields, a nested block through a handler.
struct CFields {
  double xmin = 0;
  bool log = false;
  CTestAxis axis = CTestAxis::kTwoTheta;
  uint32_t colour = 0;
  uint32_t points = 0;
  std::string title;
  int nested = 0;
};

void ReadFields(CVHFile& file, CFields& fields, uint64_t length) {
  CRecordMapReader reader(file);
  reader.Add<double, float>(MakeTag("XMIN"), &fields.xmin);
  reader.Add<bool>(MakeTag("LOG?"), &fields.log);
  reader.Add<CTestAxis, uint8_t>(kTagAxisType, &fields.axis);
  reader.Add<CColor>(MakeTag("COLR"), &fields.colour);
  reader.Add<uint32_t>(MakeTag("NPTS"), &fields.points);
  reader.AddHandler(MakeTag("TITL"), [&](uint32_t size) { fields.title = file.ReadUTF8(size); });
  reader.AddHandler(MakeTag("WINS"), [&](uint32_t size) {
    ++fields.nested;
    ReadFields(file, fields, size);
  });
  reader.ReadBlock(length);
}

CFields ReadBlockFrom(const std::string& bytes, uint64_t length) {
  CTempFile temp(".bin", bytes);
  CVHFile file;
  EXPECT_TRUE(file.Open(temp.Path(), CFile::kModeRead));
  CFields fields;
  ReadFields(file, fields, length);
  EXPECT_EQ(file.GetPosition(), length);
  return fields;
}

const std::string kBlock = Record("XMIN", LE(5.0f)) + Record("????", "skipped") +
                           Record("LOG?", "\xFF") + Record("AXS#", "\x04") +
                           Record("WINS", Record("NPTS", LE(72000u)) + Record("zzzz", "")) +
                           Record("TITL", "Quartz");

TEST(RecordMap, FillsKnownFieldsAndSkipsUnknownTags) {
  const CFields fields = ReadBlockFrom(kBlock, kBlock.size());
  EXPECT_EQ(fields.xmin, 5.0);
  EXPECT_TRUE(fields.log);
  EXPECT_EQ(fields.axis, CTestAxis::kEnergy);
  EXPECT_EQ(fields.points, 72000u);
  EXPECT_EQ(fields.nested, 1);
  EXPECT_EQ(fields.title, "Quartz");
  EXPECT_EQ(ReadBlockFrom("", 0).title, "");
}

TEST(RecordMap, BlockNotConsumedExactlyIsInvalid) {
  // The block's length ends inside a record, inside a record header, or past the data.
  EXPECT_THROW(ReadBlockFrom(kBlock, kBlock.size() - 1), CVHXFileInvalid);
  EXPECT_THROW(ReadBlockFrom(kBlock + "abc", kBlock.size() + 3), CVHXFileInvalid);
  // A known field stored with a length other than its reader's.
  EXPECT_THROW(ReadBlockFrom(Record("XMIN", LE(5.0)), 16), CVHXFileInvalid);
  // A handler that reads less than its record.
  EXPECT_THROW(ReadBlockFrom(Record("WINS", Record("NPTS", LE(1u)) + "xy"), 22), CVHXFileInvalid);
  // Data that end before the block does.
  EXPECT_THROW(ReadBlockFrom(kBlock, kBlock.size() + 8), CVHXFileEOF);
}

TEST(RecordMap, TruncatedAndRandomBytesRaiseFileErrorsOnly) {
  for (size_t cut = 0; cut < kBlock.size(); ++cut) {
    try {
      ReadBlockFrom(kBlock.substr(0, cut), kBlock.size());
      ADD_FAILURE() << "a block cut at " << cut << " was read";
    } catch (const CVHXFileEOF&) {
    } catch (const CVHXFileInvalid&) {
    }
  }
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<size_t> size(0, 64);
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    if (round % 2 == 0) {  // a damaged copy of a good block
      bytes = kBlock;
      for (size_t flips = size(random) % 6 + 1; flips > 0; --flips)
        bytes[size(random) % bytes.size()] = static_cast<char>(byte(random));
      bytes.resize(bytes.size() - size(random) % 8);
    } else {  // noise
      bytes.resize(size(random));
      for (char& c : bytes) c = static_cast<char>(byte(random));
    }
    try {
      ReadBlockFrom(bytes, kBlock.size());
    } catch (const CVHXFileEOF&) {
    } catch (const CVHXFileInvalid&) {
    }
  }
}

}  // namespace
