// An HDF5 file of a batch run's patterns, written through libhdf5 as a stream: the intensity
// matrix goes out row by row into deflate-compressed chunks, so that a whole database never sits
// in memory. The file appears under its name only once it is whole (a temporary beside it,
// put on the disc and renamed, as every output of the program).
//
// The files do not change with the clock (no object times are recorded), so that two runs of
// the same inputs give the same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CHdf5Writer {
 public:
  // Creates the temporary file; failure raises CVHXFileNotOpen.
  explicit CHdf5Writer(const std::string& path);
  ~CHdf5Writer();
  CHdf5Writer(const CHdf5Writer&) = delete;
  CHdf5Writer& operator=(const CHdf5Writer&) = delete;

  // Whole one-dimensional datasets: float64, int8, and UTF-8 strings of any length.
  void WriteDoubles(const std::string& name, std::span<const double> values);
  void WriteBytes(const std::string& name, std::span<const int8_t> values);
  void WriteStrings(const std::string& name, const std::vector<std::string>& values);

  // A float32 matrix of `rows` x `columns`, chunked and compressed, whose rows follow through
  // WriteRow (each `columns` little-endian float32 values) in order.
  void BeginMatrix(const std::string& name, uint64_t rows, uint64_t columns);
  void WriteRow(std::string_view row);
  // The rows written must be exactly those BeginMatrix announced.
  void EndMatrix();

  // Closes the file, puts it on the disc and in its place; until then the target is as it was.
  void Commit();

 private:
  struct CState;
  void FlushRows();

  std::unique_ptr<CState> m_state;
};
