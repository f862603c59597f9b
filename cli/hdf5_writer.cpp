#include "cli/hdf5_writer.h"

#include <fcntl.h>
#include <hdf5.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "errors/exceptions.h"
#include "files/file_replacement.h"

namespace {

// Rows are gathered into chunks of about this size: within libhdf5's default chunk cache of
// 1 MiB, and large enough for deflate to find the repeats of a profile's background.
constexpr uint64_t kChunkBytes = uint64_t{1} << 19;
// Level 4 gives nearly the size of 9 at a fraction of the time on profile data.
constexpr unsigned kDeflateLevel = 4;

// libhdf5 says little about why a call failed; the system's reason is the best there is.
[[noreturn]] void Fail() {
  throw CVHXFile(kSeverityMessage, errno ? errno : EIO);
}

hid_t Made(hid_t id) {
  if (id < 0) Fail();
  return id;
}

void Done(herr_t status) {
  if (status < 0) Fail();
}

// An HDF5 identifier, closed with the function of its kind.
class CId {
 public:
  CId(hid_t id, herr_t (*close)(hid_t)) : m_id(Made(id)), m_close(close) {}
  CId(CId&& other) noexcept : m_id(other.m_id), m_close(other.m_close) { other.m_id = -1; }
  ~CId() {
    if (m_id >= 0) m_close(m_id);
  }
  CId(const CId&) = delete;
  CId& operator=(const CId&) = delete;
  operator hid_t() const { return m_id; }

 private:
  hid_t m_id;
  herr_t (*m_close)(hid_t);
};

// Creation properties that keep the file independent of the clock.
CId TimelessProperties(hid_t kind) {
  CId properties(H5Pcreate(kind), H5Pclose);
  Done(H5Pset_obj_track_times(properties, false));
  return properties;
}

CId Space(std::initializer_list<hsize_t> dimensions) {
  return CId(H5Screate_simple(static_cast<int>(dimensions.size()), std::data(dimensions), nullptr),
             H5Sclose);
}

}  // namespace

struct CHdf5Writer::CState {
  CFileReplacement replacement;
  hid_t file = -1;
  hid_t matrix = -1;
  uint64_t rows = 0, columns = 0, chunkRows = 1;
  uint64_t received = 0, written = 0;  // rows given to WriteRow, rows handed to libhdf5
  std::string pending;                 // rows not yet handed to libhdf5: whole chunks go at once

  ~CState() {
    if (matrix >= 0) H5Dclose(matrix);
    if (file >= 0) H5Fclose(file);
  }
};

CHdf5Writer::CHdf5Writer(const std::string& path) : m_state(std::make_unique<CState>()) {
  // Failures are reported as the program's own errors; libhdf5's stack print would only add
  // noise on stderr.
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const int descriptor = m_state->replacement.Open(path);
  if (descriptor < 0) throw CVHXFileNotOpen(kSeverityMessage, errno);
  ::close(descriptor);
  const CId creation = TimelessProperties(H5P_FILE_CREATE);
  const CId access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
#if H5_VERSION_GE(1, 10, 7)
  // The temporary file is this process's alone; the lock would only fail on the network file
  // systems of clusters that do not offer it.
  Done(H5Pset_file_locking(access, false, true));
#endif
  m_state->file =
      H5Fcreate(m_state->replacement.TemporaryPath().c_str(), H5F_ACC_TRUNC, creation, access);
  if (m_state->file < 0) throw CVHXFileNotOpen(kSeverityMessage, errno ? errno : EIO);
}

CHdf5Writer::~CHdf5Writer() = default;

void CHdf5Writer::WriteDoubles(const std::string& name, std::span<const double> values) {
  const CId space = Space({values.size()});
  const CId dataset(H5Dcreate2(m_state->file, name.c_str(), H5T_IEEE_F64LE, space, H5P_DEFAULT,
                               TimelessProperties(H5P_DATASET_CREATE), H5P_DEFAULT),
                    H5Dclose);
  if (!values.empty())
    Done(H5Dwrite(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()));
}

void CHdf5Writer::WriteBytes(const std::string& name, std::span<const int8_t> values) {
  const CId space = Space({values.size()});
  const CId dataset(H5Dcreate2(m_state->file, name.c_str(), H5T_STD_I8LE, space, H5P_DEFAULT,
                               TimelessProperties(H5P_DATASET_CREATE), H5P_DEFAULT),
                    H5Dclose);
  if (!values.empty())
    Done(H5Dwrite(dataset, H5T_NATIVE_SCHAR, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()));
}

void CHdf5Writer::WriteStrings(const std::string& name, const std::vector<std::string>& values) {
  const CId type(H5Tcopy(H5T_C_S1), H5Tclose);
  Done(H5Tset_size(type, H5T_VARIABLE));
  Done(H5Tset_cset(type, H5T_CSET_UTF8));
  const CId space = Space({values.size()});
  const CId dataset(H5Dcreate2(m_state->file, name.c_str(), type, space, H5P_DEFAULT,
                               TimelessProperties(H5P_DATASET_CREATE), H5P_DEFAULT),
                    H5Dclose);
  std::vector<const char*> pointers;
  for (const std::string& value : values) pointers.push_back(value.c_str());
  if (!pointers.empty())
    Done(H5Dwrite(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, pointers.data()));
}

void CHdf5Writer::BeginMatrix(const std::string& name, uint64_t rows, uint64_t columns) {
  if (m_state->matrix >= 0) throw std::logic_error("an HDF5 matrix is still open");
  const CId space = Space({rows, columns});
  const CId properties = TimelessProperties(H5P_DATASET_CREATE);
  const uint64_t rowBytes = columns * sizeof(float);
  m_state->chunkRows =
      std::clamp<uint64_t>(rowBytes ? kChunkBytes / rowBytes : 1, 1, std::max<uint64_t>(rows, 1));
  // An empty matrix has no chunks to speak of; libhdf5 refuses chunks of no size.
  if (rows > 0 && columns > 0) {
    const hsize_t chunk[2] = {m_state->chunkRows, columns};
    Done(H5Pset_chunk(properties, 2, chunk));
    // Bytes of equal significance side by side: neighbouring intensities share their exponents,
    // which deflate then finds.
    Done(H5Pset_shuffle(properties));
    Done(H5Pset_deflate(properties, kDeflateLevel));
  }
  m_state->matrix = Made(H5Dcreate2(m_state->file, name.c_str(), H5T_IEEE_F32LE, space, H5P_DEFAULT,
                                    properties, H5P_DEFAULT));
  m_state->rows = rows;
  m_state->columns = columns;
  m_state->received = m_state->written = 0;
  m_state->pending.clear();
}

void CHdf5Writer::WriteRow(std::string_view row) {
  CState& s = *m_state;
  if (row.size() != s.columns * sizeof(float) || s.received == s.rows)
    throw std::logic_error("an HDF5 matrix row of the wrong size, or one too many");
  ++s.received;
  s.pending.append(row);
  if (s.received - s.written == s.chunkRows) FlushRows();
}

void CHdf5Writer::FlushRows() {
  CState& s = *m_state;
  if (s.pending.empty() || s.columns == 0) return;
  const uint64_t count = s.pending.size() / (s.columns * sizeof(float));
  const CId memory = Space({count, s.columns});
  const CId file(H5Dget_space(s.matrix), H5Sclose);
  const hsize_t start[2] = {s.written, 0}, extent[2] = {count, s.columns};
  Done(H5Sselect_hyperslab(file, H5S_SELECT_SET, start, nullptr, extent, nullptr));
  Done(H5Dwrite(s.matrix, H5T_NATIVE_FLOAT, memory, file, H5P_DEFAULT, s.pending.data()));
  s.written += count;
  s.pending.clear();
}

void CHdf5Writer::EndMatrix() {
  CState& s = *m_state;
  FlushRows();
  if (s.received != s.rows)
    throw std::logic_error("the HDF5 matrix got " + std::to_string(s.received) + " rows for " +
                           std::to_string(s.rows));
  Done(H5Dclose(s.matrix));
  s.matrix = -1;
}

void CHdf5Writer::Commit() {
  CState& s = *m_state;
  if (s.matrix >= 0) throw std::logic_error("an HDF5 matrix is still open");
  const herr_t closed = H5Fclose(s.file);
  s.file = -1;
  if (closed < 0) Fail();
  // libhdf5 wrote through descriptors of its own; the data go on the disc through one of ours.
  const int descriptor = ::open(s.replacement.TemporaryPath().c_str(), O_RDWR | O_CLOEXEC);
  if (descriptor < 0) Fail();
  const int synced = s.replacement.Sync(descriptor);
  ::close(descriptor);
  if (synced) throw CVHXFile(kSeverityMessage, synced);
  if (const int error = s.replacement.Commit()) throw CVHXFile(kSeverityMessage, error);
}
