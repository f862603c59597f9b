// Tagged binary input through the record-map reader with nested blocks, the primitive reads
// and the CRC check. Only exceptions of the file family may come out.
#include <cstdint>
#include <string>

#include "errors/exceptions.h"
#include "fuzz_file.h"
#include "files/records.h"

namespace {

enum class CAxis : uint32_t {};

struct CFields {
  double value = 0;
  unsigned count = 0;
  uint64_t wide = 0;
  bool flag = false;
  char letter = 0;
  uint32_t colour = 0;
  CAxis axis{};
  std::string text;
};

void ReadBlock(CVHFile& file, CFields& fields, uint64_t length, int depth) {
  CRecordMapReader reader(file);
  reader.Add<double, float>(MakeTag("XMIN"), &fields.value);
  reader.Add<unsigned, float>(MakeTag("MAXR"), &fields.count);
  reader.Add<uint64_t, int>(MakeTag("SIZE"), &fields.wide);
  reader.Add<bool>(MakeTag("LOG?"), &fields.flag);
  reader.Add<char, unsigned char>(MakeTag("CHAR"), &fields.letter);
  reader.Add<CColor>(MakeTag("COLR"), &fields.colour);
  reader.Add<CAxis, uint8_t>(kTagAxisType, &fields.axis);
  reader.AddHandler(MakeTag("TITL"), [&](uint32_t size) { fields.text = file.ReadUTF8(size); });
  reader.AddHandler(MakeTag("NAME"), [&](uint32_t size) {
    fields.text = file.ReadUTF16(size / 2);
    file.Skip(size % 2);
  });
  reader.AddHandler(MakeTag("SYMB"), [&](uint32_t size) { fields.text = file.ReadMacRoman(size); });
  reader.AddHandler(MakeTag("BLCK"), [&](uint32_t size) {
    if (depth < 64) ReadBlock(file, fields, size, depth + 1);
    else file.Skip(size);
  });
  reader.ReadBlock(length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses byte order and buffering; the rest is the file.
  const uint8_t options = data[0];
  const std::string& path = FuzzInputPath(data + 1, size - 1);
  CVHFile file;
  file.SetMappingAllowed(options & 1);
  if (options & 2) file.SetBufferLimit(4096);
  if (!file.Open(path, CFile::kModeRead)) return 0;
  file.SetLittleEndian(options & 4);
  try {
    file.CheckCRC();
    CFields fields;
    const uint64_t length = file.GetLength();
    ReadBlock(file, fields, (options & 8) ? length : file.ReadValue<uint32_t>(), 0);
  } catch (const CVHXFile&) {
    // Malformed input is refused with a file error: what the readers must do.
  }
  return 0;
}
