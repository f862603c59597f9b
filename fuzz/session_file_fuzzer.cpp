// Session files of both formats through the probes and the readers, to the finished session.
// Only exceptions of the program's own tree may come out, and a session that reads must write
// and read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "errors/exception.h"
#include "app/crc32.h"
#include "files/session_file.h"
#include "fuzz_file.h"
#include "quiet_alerts.h"

namespace {

// Where a session that read is written again: beside the input, removed at exit.
const std::string& RewrittenPath(const std::string& input) {
  static const std::string path = [&input] {
    static std::string name = input + ".diffract";
    std::atexit([] { std::remove(name.c_str()); });
    return name;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CQuietAlerts alerts;
  if (size == 0) return 0;
  // The first byte chooses the format, the buffering, and whether the trailer is made to fit
  // the rest, so that changes inside the file reach the checks behind the CRC; the rest is the
  // file.
  const uint8_t options = data[0];
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((options & 8) && bytes.size() >= 8) {
    const size_t body = bytes.size() - 8;
    const uint32_t crc = CCRC32::Of(bytes.data(), body);
    bytes.replace(body, 4, "CRCK");
    for (int i = 0; i < 4; ++i) bytes[body + 4 + i] = static_cast<char>(crc >> (8 * i));
  }
  const std::string& path =
      FuzzInputPath(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  CTSSessionFile::Recognise(path);
  CTSSessionPre6File::Recognise(path);

  std::unique_ptr<CTessFile> file;
  if (options & 1) {
    file = std::make_unique<CTSSessionPre6File>();
  } else {
    file = std::make_unique<CTSSessionFile>();
  }
  file->SetMappingAllowed(options & 2);
  if (options & 4) file->SetBufferLimit(4096);
  if (!file->Open(path, CFile::kModeRead)) return 0;
  CSession session;
  try {
    file->ReadSession(session);
  } catch (const CVHException&) {
    return 0;  // refused with an exception of the tree: what the readers must do
  }
  file->Close();
  try {
    WriteSessionFile(RewrittenPath(path), session);
    const CSession again = ReadSessionFile(RewrittenPath(path));
    if (again.patterns.size() != session.patterns.size()) std::abort();
  } catch (const CVHException&) {
    std::abort();  // what was read must be written and read back
  }
  return 0;
}
