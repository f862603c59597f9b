// Self-describing records of the tagged binary formats: typed readers that fill one model
// field from a stored value, the record writers, and the reader of a block of records.
// A record is four tag characters, a 32-bit length in file byte order, then `length` bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string_view>
#include <type_traits>

#include "files/vhfile.h"

// Names the stored form of a colour: four 32-bit floats red, green, blue, alpha in 0..1 in
// files, a 32-bit ARGB value (0xAARRGGBB) in memory.
struct CColor {};

// Tags of the enumeration records the formats share.
inline constexpr uint32_t kTagLineStyle = MakeTag("LTYP");
inline constexpr uint32_t kTagLabelAlignment = MakeTag("LBA#");
inline constexpr uint32_t kTagAxisType = MakeTag("AXS#");
inline constexpr uint32_t kTagFilmType = MakeTag("FLM#");
inline constexpr uint32_t kTagProfileType = MakeTag("PRO#");
inline constexpr uint32_t kTagSimulationType = MakeTag("SIM#");
inline constexpr uint32_t kTagOrigin = MakeTag("ORG#");

// The fixed tag of an enumeration's record. The owner of each enumeration states it once:
//   template <> struct CRecordTag<VHTypes::TSAxisType> {
//     static constexpr uint32_t kTag = kTagAxisType;
//   };
template <class E>
struct CRecordTag;

class CVHFile::CReaderBase {
 public:
  explicit CReaderBase(CVHFile& file) : m_file(file) {}
  CReaderBase(const CReaderBase&) = delete;
  CReaderBase& operator=(const CReaderBase&) = delete;
  virtual ~CReaderBase() = default;

  // Reads one stored value into the destination; returns the number of bytes consumed.
  virtual size_t Read() = 0;

 protected:
  CVHFile& m_file;
};

namespace records_detail {

// A float truncated towards zero into an integer type; values outside the type's range are
// clamped and NaN gives 0, so that a damaged file cannot cause undefined behaviour.
long double ClampForTruncation(long double value, long double lowest, long double highest);

template <class T, class S>
T ConvertStored(S stored) {
  if constexpr (std::is_floating_point_v<S> && std::is_integral_v<T>) {
    return static_cast<T>(ClampForTruncation(stored, std::numeric_limits<T>::lowest(),
                                             std::numeric_limits<T>::max()));
  } else {
    // Integers convert modulo 2^n, so a signed 32-bit value widens to 64 bits sign-extended;
    // an enumeration takes the value as its enumerator.
    return static_cast<T>(stored);
  }
}

}  // namespace records_detail

// Reads one S in file byte order and stores it as T. D equals T.
template <class T, class S, class D>
class CVHFile::CReader : public CVHFile::CReaderBase {
  static_assert(std::is_same_v<T, D>);
  static_assert(std::is_arithmetic_v<S> && (std::is_arithmetic_v<T> || std::is_enum_v<T>));

 public:
  using Destination = T;
  CReader(CVHFile& file, T* destination) : CReaderBase(file), m_destination(destination) {}

  size_t Read() override {
    if constexpr (std::is_same_v<S, bool>) {
      *m_destination = static_cast<T>(m_file.ReadValue<uint8_t>() != 0);
    } else {
      *m_destination = records_detail::ConvertStored<T>(m_file.ReadValue<S>());
    }
    return sizeof(S);
  }

 private:
  T* m_destination;
};

// Four floats red, green, blue, alpha, each times 255 truncated to a byte, packed as ARGB.
template <>
class CVHFile::CReader<CColor, CColor, CColor> : public CVHFile::CReaderBase {
 public:
  using Destination = uint32_t;
  CReader(CVHFile& file, uint32_t* argb) : CReaderBase(file), m_destination(argb) {}
  size_t Read() override;

 private:
  uint32_t* m_destination;
};

// Record writers: tag, length, value.
void WriteFloatRecord(CVHFile& file, uint32_t tag, double value);  // as a 32-bit float
void WriteBoolRecord(CVHFile& file, uint32_t tag, bool value);     // one byte 0xFF or 0x00
void WriteByteRecord(CVHFile& file, uint32_t tag, uint8_t value);  // small integers
void WriteUInt32Record(CVHFile& file, uint32_t tag, uint32_t value);
void WriteTextRecord(CVHFile& file, uint32_t tag, std::string_view utf8);  // no terminator
void WriteColorRecord(CVHFile& file, uint32_t tag, uint32_t argb);  // four floats channel/255
// An enumeration as one byte under its fixed tag (see CRecordTag).
template <class E>
void WriteEnumRecord(CVHFile& file, E value) {
  WriteByteRecord(file, CRecordTag<E>::kTag, static_cast<uint8_t>(value));
}

struct CRecordHeader {
  uint32_t tag = 0;
  uint32_t length = 0;
};
CRecordHeader ReadRecordHeader(CVHFile& file);

// Reads a block of records: a known tag fills its field through its typed reader or runs its
// handler, any other tag is skipped by its length. Each record, and so the block, must be
// consumed exactly; otherwise CVHXFileInvalid.
class CRecordMapReader {
 public:
  // Called with the file standing at the record's data; must consume exactly `length` bytes.
  using CHandler = std::function<void(uint32_t length)>;

  explicit CRecordMapReader(CVHFile& file);
  ~CRecordMapReader();

  // The field at `member` is filled from a stored S: Add<double, float>(MakeTag("XMIN"), &x),
  // Add<CColor>(MakeTag("COLR"), &argb), Add<TSAxisType, uint8_t>(kTagAxisType, &axis).
  template <class T, class S = T>
  void Add(uint32_t tag, typename CVHFile::CReader<T, S, T>::Destination* member) {
    AddReader(tag, std::make_unique<CVHFile::CReader<T, S, T>>(m_file, member));
  }
  void AddReader(uint32_t tag, std::unique_ptr<CVHFile::CReaderBase> reader);
  void AddHandler(uint32_t tag, CHandler handler);

  // Reads records from the current position until `length` bytes have been consumed.
  void ReadBlock(uint64_t length);

 private:
  CVHFile& m_file;
  std::map<uint32_t, std::unique_ptr<CVHFile::CReaderBase>> m_readers;
  std::map<uint32_t, CHandler> m_handlers;
};
