// Reads back the HDF5 file of a batch run through libhdf5's C API, independently of the writer.
#pragma once

#include <gtest/gtest.h>
#include <hdf5.h>

#include <string>
#include <vector>

struct CHdf5Batch {
  std::vector<double> x;
  std::vector<hsize_t> shape;  // of the intensity matrix
  std::vector<float> intensity;
  std::vector<std::string> names;
  std::vector<int8_t> status;
  bool compressed = false;  // the matrix chunked and deflated
};

inline std::vector<hsize_t> DatasetShape(hid_t dataset) {
  const hid_t space = H5Dget_space(dataset);
  std::vector<hsize_t> dimensions(static_cast<size_t>(H5Sget_simple_extent_ndims(space)));
  H5Sget_simple_extent_dims(space, dimensions.data(), nullptr);
  H5Sclose(space);
  return dimensions;
}

template <typename T>
std::vector<T> ReadDataset(hid_t file, const char* name, hid_t memoryType,
                           std::vector<hsize_t>* shape = nullptr) {
  const hid_t dataset = H5Dopen2(file, name, H5P_DEFAULT);
  EXPECT_GE(dataset, 0) << name;
  if (dataset < 0) return {};
  const std::vector<hsize_t> dimensions = DatasetShape(dataset);
  size_t count = 1;
  for (const hsize_t n : dimensions) count *= n;
  std::vector<T> values(count);
  if (count) {
    EXPECT_GE(H5Dread(dataset, memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), 0);
  }
  if (shape) *shape = dimensions;
  H5Dclose(dataset);
  return values;
}

inline std::vector<std::string> ReadStrings(hid_t file, const char* name) {
  const hid_t dataset = H5Dopen2(file, name, H5P_DEFAULT);
  EXPECT_GE(dataset, 0) << name;
  if (dataset < 0) return {};
  const hid_t stored = H5Dget_type(dataset);
  EXPECT_TRUE(H5Tis_variable_str(stored) > 0) << name;
  EXPECT_EQ(H5Tget_cset(stored), H5T_CSET_UTF8) << name;
  H5Tclose(stored);
  const hid_t type = H5Tcopy(H5T_C_S1);
  H5Tset_size(type, H5T_VARIABLE);
  H5Tset_cset(type, H5T_CSET_UTF8);
  const std::vector<hsize_t> dimensions = DatasetShape(dataset);
  std::vector<char*> pointers(dimensions.empty() ? 0 : dimensions[0]);
  std::vector<std::string> values;
  if (!pointers.empty()) {
    EXPECT_GE(H5Dread(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, pointers.data()), 0);
    for (const char* p : pointers) values.emplace_back(p ? p : "");
    const hid_t space = H5Dget_space(dataset);
    H5Dvlen_reclaim(type, space, H5P_DEFAULT, pointers.data());
    H5Sclose(space);
  }
  H5Tclose(type);
  H5Dclose(dataset);
  return values;
}

inline CHdf5Batch ReadHdf5Batch(const std::string& path) {
  CHdf5Batch batch;
  const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  EXPECT_GE(file, 0) << path;
  if (file < 0) return batch;
  batch.x = ReadDataset<double>(file, "x", H5T_NATIVE_DOUBLE);
  batch.intensity = ReadDataset<float>(file, "intensity", H5T_NATIVE_FLOAT, &batch.shape);
  batch.names = ReadStrings(file, "names");
  batch.status = ReadDataset<int8_t>(file, "status", H5T_NATIVE_SCHAR);
  if (const hid_t dataset = H5Dopen2(file, "intensity", H5P_DEFAULT); dataset >= 0) {
    const hid_t properties = H5Dget_create_plist(dataset);
    bool deflated = false;
    for (int i = 0; i < H5Pget_nfilters(properties); ++i) {
      unsigned flags = 0;
      size_t count = 0;
      unsigned values[4] = {};
      char name[64] = {};
      if (H5Pget_filter2(properties, static_cast<unsigned>(i), &flags, &count, values, sizeof name,
                         name, nullptr) == H5Z_FILTER_DEFLATE)
        deflated = true;
    }
    batch.compressed = H5Pget_layout(properties) == H5D_CHUNKED && deflated;
    H5Pclose(properties);
    H5Dclose(dataset);
  }
  H5Fclose(file);
  return batch;
}
