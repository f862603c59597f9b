#include "files/observed_files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/dataset_file.h"
#include "files/pattern_file.h"
#include "files/rigaku_file.h"
#include "files/temp_file.h"
#include "files/tess_file.h"
#include "patterns/observed_pattern.h"
#include "support/data_files.h"
#include "support/recorders.h"

namespace {

// The resource number of the error that reading a file raises, 0 when it reads.
unsigned Refusal(const std::string& path) {
  try {
    ReadObservedFile(path);
    return 0;
  } catch (const CVHException& e) {
    return e.ResourceId();
  }
}

std::string MessageOf(const std::string& path) {
  try {
    ReadObservedFile(path);
  } catch (const CVHException& e) {
    return e.Message();
  }
  return "";
}

std::string Rigaku(const std::string& header, const std::string& values) {
  return "*TYPE = Raw\n" + header + "*BEGIN\n" + values + "\n*END\n*EOF\n";
}

const std::string kHeader = "*START = 10\n*STOP = 20\n*STEP = 0.5\n*COUNT = 21\n";
const std::string kValues = "1, 2, 3, 4\n5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21";

TEST(DatasetFile, ColumnsWithCommentsAndHeadings) {
  CTempFile xy(".xy", "# 2theta intensity\n! instrument: lab\n\n10.0 5.5\r\n  10.5\t6.5 trailing words\r10.2e1 -1\n");
  const CObservedFile read = ReadObservedFile(xy.Path());
  EXPECT_EQ(read.type, CTSDatasetFile::kTypeId);
  EXPECT_EQ(read.data.points, (CProfile{{10.0, 5.5}, {10.5, 6.5}, {102.0, -1.0}}));
  EXPECT_TRUE(read.data.errors.empty());  // "trailing" is no error value

  // Lines without two finite numbers are passed over, however they begin, and named with their
  // line numbers; comments and blank lines go without a word.
  CRecordingStatusLog log;
  CTempFile dat(".dat", "x,y\n1,2\n3 nan\ninf 4\n5 6\n7\n; note\n");
  EXPECT_EQ(ReadObservedFile(dat.Path()).data.points, (CProfile{{5.0, 6.0}}));
  EXPECT_TRUE(log.Contains("Warning: Line 1 is not data and is passed over: 'x,y'."));
  EXPECT_TRUE(log.Contains("Warning: Line 6 is not data and is passed over: '7'."));
  EXPECT_EQ(log.lines.size(), 5u);
  CTempFile header(".dat", "a\nb\nc\nd\ne\nf\ng\n1 2\n");
  log.lines.clear();
  EXPECT_EQ(ReadObservedFile(header.Path()).data.points.size(), 1u);
  EXPECT_EQ(log.lines.size(), 6u);
  EXPECT_TRUE(log.Contains("Warning: 2 more lines that are not data are passed over."));
}

TEST(DatasetFile, ThirdColumnKeptWhenEveryPointHasOne) {
  CTempFile xye(".xye", "# x y e\n10 100 10\n11 121 11\n");
  const CObservedFile read = ReadObservedFile(xye.Path());
  EXPECT_EQ(read.data.points, (CProfile{{10, 100}, {11, 121}}));
  EXPECT_EQ(read.data.errors, (std::vector<double>{10, 11}));
  xye.Write("10 100 10\n11 121\n12 144 12\n");
  const CObservedFile partial = ReadObservedFile(xye.Path());
  EXPECT_EQ(partial.data.points.size(), 3u);
  EXPECT_TRUE(partial.data.errors.empty());
}

TEST(DatasetFile, WithoutAPointThereIsNoData) {
  CTempFile header(".dat", "2-Theta Intensity\n");
  EXPECT_EQ(Refusal(header.Path()), CVHXFileNoData::kResourceId);
  EXPECT_EQ(MessageOf(header.Path()), "No data in file.");
  header.Write("");
  EXPECT_EQ(Refusal(header.Path()), CVHXFileNoData::kResourceId);
}

TEST(DatasetFile, TypeFoundByExtensionAndByContent) {
  EXPECT_EQ(CTessFile::CandidateTypes("scan.xy"), (std::vector<unsigned>{12}));
  EXPECT_EQ(CTessFile::CandidateTypes("scan.XYE"), (std::vector<unsigned>{12}));
  // An extension no format claims: the content probes decide.
  CTempFile unusual(".scan", "measured on 2024-05-01\n10.00 512\n10.02 498\n");
  EXPECT_EQ(CTessFile::DetermineType(unusual.Path()), CTSDatasetFile::kTypeId);
  EXPECT_EQ(ReadObservedFile(unusual.Path()).data.points.size(), 2u);
  CTempFile words(".scan", "no numbers here\nnor 1 here\n");
  EXPECT_EQ(CTSDatasetFile::Recognise(words.Path()), 0u);
  EXPECT_EQ(Refusal(words.Path()), CVHXFileUnsupportedType::kResourceId);
  // A crystal file is no observed data.
  EXPECT_EQ(Refusal(TestDataPath("quartz.cif").string()), CVHXFileUnsupportedType::kResourceId);
  EXPECT_EQ(Refusal("/no/such/scan.xy"), CVHXFileNotFound::kResourceId);
}

TEST(RigakuFile, PointsFromStartAndStep) {
  CTempFile asc(".asc", Rigaku(kHeader, kValues));
  const CObservedFile read = ReadObservedFile(asc.Path());
  EXPECT_EQ(read.type, CTSRigakuFile::kTypeId);
  ASSERT_EQ(read.data.points.size(), 21u);
  for (size_t i = 0; i < 21; ++i)
    EXPECT_EQ(read.data.points[i], (CProfilePoint{10.0 + 0.5 * static_cast<double>(i), i + 1.0}));

  // Keywords in any case, values after "=" or alone on the next line, a file ending without *END.
  asc.Write("*count\n21\n*Start 10\n*stop=20\n*sTeP =\t0.5\n" + kValues + "\n");
  EXPECT_EQ(ReadObservedFile(asc.Path()).data.points, read.data.points);
}

TEST(RigakuFile, Refusals) {
  const std::pair<std::string, unsigned> cases[] = {
      {Rigaku("*START 10\n*STOP 20\n*STEP 0.5\n*COUNT 20\n", kValues), CVHXFileRigakuBadRange::kResourceId},
      {Rigaku("*START 10\n*STOP 20\n*COUNT 21\n", kValues), CVHXFileRigakuDataset::kResourceId},
      {"*START 10\n*STOP 20\n*STEP 0.5\n", CVHXFileRigakuDataset::kResourceId},
      {Rigaku("*START 10\n*STOP 20\n*STEP 0.5\n*COUNT 21.0\n", kValues), CVHXFileRigakuBadCount::kResourceId},
      {Rigaku("*START 10\n*STOP 20\n*STEP 0.5\n*COUNT 0\n", kValues), CVHXFileRigakuBadCount::kResourceId},
      {Rigaku("*START 10\n*STOP 20\n*STEP 0.5\n*COUNT 99999999999\n", kValues), CVHXFileRigakuBadCount::kResourceId},
      {Rigaku("*START ten\n*STOP 20\n*STEP 0.5\n*COUNT 21\n", kValues), CVHXFileRigakuBadStart::kResourceId},
      {Rigaku("*START 10\n*STOP 20\n*STEP 0.5deg\n*COUNT 21\n", kValues), CVHXFileRigakuBadStep::kResourceId},
      {Rigaku("*START 10\n*STOP\n*STEP 0.5\n*COUNT 21\n", kValues), CVHXFileRigakuBadStop::kResourceId},
      {Rigaku("*START 10\n*STOP 20\n*STEP 0\n*COUNT 21\n", kValues), CVHXFileRigakuBadRange::kResourceId},
      {Rigaku("*START 10\n*STOP 10\n*STEP 0.5\n*COUNT 1\n", "1"), CVHXFileRigakuBadRange::kResourceId},
      {Rigaku(kHeader, kValues + " 22"), CVHXFileRigakuBadRange::kResourceId},
      {Rigaku(kHeader, "1, 2, 3"), CVHXFileRigakuBadYValue::kResourceId},
      {Rigaku(kHeader, "1, 2, x3"), CVHXFileRigakuBadYValue::kResourceId},
      {Rigaku(kHeader, std::string(0x10000, '1')), CVHXFileRigakuBadYValue::kResourceId},
  };
  CTempFile asc(".asc");
  for (const auto& [text, refusal] : cases) {
    SCOPED_TRACE(text);
    asc.Write(text);
    EXPECT_EQ(Refusal(asc.Path()), refusal);
  }
  asc.Write(cases[0].first);
  EXPECT_EQ(MessageOf(asc.Path()), "Measurement range specification is invalid.");
  asc.Write(cases[1].first);
  EXPECT_EQ(MessageOf(asc.Path()), "Invalid dataset specification.");
}

TEST(RigakuFile, CountRoundsHalvesAwayFromZero) {
  // (2.5 - 0) / 1 rounds to 3: four points, the last beyond the stop.
  CTempFile asc(".asc", Rigaku("*START 0\n*STOP 2.5\n*STEP 1\n*COUNT 4\n", "1 2 3 4"));
  EXPECT_EQ(ReadObservedFile(asc.Path()).data.points.back(), (CProfilePoint{3.0, 4.0}));
  asc.Write(Rigaku("*START 0\n*STOP 2.5\n*STEP 1\n*COUNT 3\n", "1 2 3"));
  EXPECT_EQ(Refusal(asc.Path()), CVHXFileRigakuBadRange::kResourceId);
}

TEST(RigakuFile, ProbeFindsTheHeaderKeywords) {
  CTempFile scan(".scan", Rigaku(kHeader, "1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21"));
  EXPECT_EQ(CTSRigakuFile::Recognise(scan.Path()), CTSRigakuFile::kTypeId);
  EXPECT_EQ(CTessFile::DetermineType(scan.Path()), CTSRigakuFile::kTypeId);
  // The observed-data probe comes first and takes any line of two numbers.
  scan.Write(Rigaku(kHeader, kValues));
  EXPECT_EQ(CTSRigakuFile::Recognise(scan.Path()), CTSRigakuFile::kTypeId);
  EXPECT_EQ(CTessFile::DetermineType(scan.Path()), CTSDatasetFile::kTypeId);
  scan.Write(Rigaku("*START 10\n*STOP 20\n*COUNT 21\n", kValues));
  EXPECT_EQ(CTSRigakuFile::Recognise(scan.Path()), 0u);
  scan.Write("10 20\n");
  EXPECT_EQ(CTSRigakuFile::Recognise(scan.Path()), 0u);
}

// Every shortened copy of a good file, and every copy with one bit flipped, reads or raises one of
// the format's errors.
void ExpectOnlyFormatErrors(const std::string& extension, const std::string& text, const std::set<unsigned>& errors) {
  CTempFile file(extension);
  const auto expect = [&](const std::string& damaged) {
    file.Write(damaged);
    const unsigned refusal = Refusal(file.Path());
    EXPECT_TRUE(refusal == 0 || errors.contains(refusal)) << refusal << " for\n" << damaged;
  };
  for (size_t length = 0; length < text.size(); ++length) expect(text.substr(0, length));
  for (size_t i = 0; i < text.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      std::string flipped = text;
      flipped[i] = static_cast<char>(flipped[i] ^ (1 << bit));
      expect(flipped);
    }
}

TEST(ObservedFiles, DamagedFilesGiveTheFormatsErrors) {
  ExpectOnlyFormatErrors(".xye", "# x y e\n10.0 5.5 1.1\n10.5 6.5e1 2\n", {CVHXFileNoData::kResourceId});
  ExpectOnlyFormatErrors(
      ".asc", Rigaku("*START = 10\n*STOP = 11.5\n*STEP = 0.5\n*COUNT = 4\n", "1.5, 2, 3\n4"),
      {CVHXFileRigakuBadCount::kResourceId, CVHXFileRigakuBadRange::kResourceId, CVHXFileRigakuBadStart::kResourceId,
       CVHXFileRigakuBadStep::kResourceId, CVHXFileRigakuBadStop::kResourceId, CVHXFileRigakuDataset::kResourceId,
       CVHXFileRigakuBadYValue::kResourceId});
}

TEST(ObservedPatternFromFile, TitledAfterTheFile) {
  CTempFile xy(".xy", "10 1\n11 4\n12 9\n");
  const auto pattern = ReadObservedPattern(xy.Path());
  EXPECT_EQ(pattern->Path(), xy.Path());
  EXPECT_EQ(pattern->Title(), FileTitle(xy.Path()));
  EXPECT_EQ(pattern->RawPoints(), (CProfile{{10, 1}, {11, 4}, {12, 9}}));
  // The factory of the pattern model knows observed data too, without reading them.
  const auto unread = NewPatternFromFilePath(xy.Path());
  ASSERT_NE(unread, nullptr);
  EXPECT_EQ(unread->GetKind(), CTSPattern::kObserved);
  EXPECT_EQ(unread->Title(), pattern->Title());
  EXPECT_FALSE(unread->HasReflexionsOrData());
}

}  // namespace
