#include "cli/hdf5_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "cli/hdf5_reader.h"
#include "errors/exceptions.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

std::string Row(const std::vector<float>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
}

size_t Entries(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// Writes a matrix of `rows` x `columns` whose values tell their place, and the 1-D datasets.
void WriteSample(const std::string& path, size_t rows, size_t columns) {
  CHdf5Writer writer(path);
  std::vector<double> x(columns);
  for (size_t c = 0; c < columns; ++c) x[c] = 5.0 + 0.01 * static_cast<double>(c);
  writer.WriteDoubles("x", x);
  writer.BeginMatrix("intensity", rows, columns);
  for (size_t r = 0; r < rows; ++r) {
    std::vector<float> row(columns);
    for (size_t c = 0; c < columns; ++c) row[c] = static_cast<float>(r * 100000 + c) + 0.25f;
    writer.WriteRow(Row(row));
  }
  writer.EndMatrix();
  std::vector<std::string> names;
  std::vector<int8_t> status;
  for (size_t r = 0; r < rows; ++r) {
    names.push_back("/data/Å-" + std::to_string(r) + (r % 2 ? "#phase, \"two\"" : ".cif"));
    status.push_back(static_cast<int8_t>(r % 3));
  }
  writer.WriteStrings("names", names);
  writer.WriteBytes("status", status);
  writer.Commit();
}

TEST(Hdf5Writer, RowsAcrossChunkBoundariesReadBackExactly) {
  CScratchFolder folder;
  // 5000 float32 a row makes chunks of 26 rows: 61 rows end in a partial chunk.
  const size_t rows = 61, columns = 5000;
  const std::string path = folder / "patterns.h5";
  WriteSample(path, rows, columns);
  EXPECT_EQ(Entries(folder.Path()), 1u) << "no temporary file stays behind";
  const CHdf5Batch batch = ReadHdf5Batch(path);
  ASSERT_EQ(batch.shape, (std::vector<hsize_t>{rows, columns}));
  EXPECT_TRUE(batch.compressed);
  ASSERT_EQ(batch.x.size(), columns);
  EXPECT_DOUBLE_EQ(batch.x[4999], 5.0 + 0.01 * 4999);
  for (size_t r = 0; r < rows; ++r)
    for (size_t c : {size_t{0}, size_t{1}, size_t{2500}, columns - 1})
      ASSERT_EQ(batch.intensity[r * columns + c], static_cast<float>(r * 100000 + c) + 0.25f)
          << r << ", " << c;
  ASSERT_EQ(batch.names.size(), rows);
  EXPECT_EQ(batch.names[0], "/data/Å-0.cif");
  EXPECT_EQ(batch.names[59], "/data/Å-59#phase, \"two\"");
  ASSERT_EQ(batch.status.size(), rows);
  EXPECT_EQ(batch.status[5], 2);
  // The matrix of counting numbers compresses well below its raw size.
  EXPECT_LT(fs::file_size(path), rows * columns * sizeof(float) / 2);
}

TEST(Hdf5Writer, TheSameDataGiveTheSameBytes) {
  CScratchFolder folder;
  WriteSample(folder / "a.h5", 7, 300);
  WriteSample(folder / "b.h5", 7, 300);
  EXPECT_EQ(ReadWholeFile(folder / "a.h5"), ReadWholeFile(folder / "b.h5"));
}

TEST(Hdf5Writer, EmptyArraysMakeAValidFile) {
  CScratchFolder folder;
  WriteSample(folder / "empty.h5", 0, 0);
  const CHdf5Batch batch = ReadHdf5Batch(folder / "empty.h5");
  EXPECT_EQ(batch.shape, (std::vector<hsize_t>{0, 0}));
  EXPECT_TRUE(batch.x.empty());
  EXPECT_TRUE(batch.names.empty());
  // Rows without points: every input refused before the grid was known.
  WriteSample(folder / "no-points.h5", 3, 0);
  EXPECT_EQ(ReadHdf5Batch(folder / "no-points.h5").shape, (std::vector<hsize_t>{3, 0}));
}

TEST(Hdf5Writer, MisuseAndFailuresLeaveTheTargetAsItWas) {
  CScratchFolder folder;
  const std::string path = folder / "patterns.h5";
  std::ofstream(path) << "the earlier file";
  {
    CHdf5Writer writer(path);
    writer.BeginMatrix("intensity", 2, 3);
    EXPECT_THROW(writer.WriteRow(Row({1.0f, 2.0f})), std::logic_error) << "a short row";
    writer.WriteRow(Row({1.0f, 2.0f, 3.0f}));
    EXPECT_THROW(writer.EndMatrix(), std::logic_error) << "a row missing";
    writer.WriteRow(Row({1.0f, 2.0f, 3.0f}));
    EXPECT_THROW(writer.WriteRow(Row({1.0f, 2.0f, 3.0f})), std::logic_error) << "one too many";
    // Abandoned without Commit, as when the run fails.
  }
  EXPECT_EQ(ReadWholeFile(path), "the earlier file");
  EXPECT_EQ(Entries(folder.Path()), 1u);
  EXPECT_THROW(CHdf5Writer(folder / "missing/patterns.h5"), CVHXFileNotOpen);
}

}  // namespace
