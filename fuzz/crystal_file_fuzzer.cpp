// Binary crystal files through the readers of both layouts, from the header checks to the
// finished crystal. Only exceptions of the program's own tree may come out.
#include <cstdint>
#include <memory>
#include <string>

#include "crystal/crystal.h"
#include "errors/alert.h"
#include "errors/exception.h"
#include "files/crystal_file.h"
#include "fuzz_file.h"

namespace {

// Alerts met on the way (invalid displacement parameters, unknown elements) are dropped, as
// the status log's lines are by default.
class CSilentPresenter final : public CAlertPresenter {
 public:
  Answer Present(const CVHAlertContent&) override { return kFirstButton; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CSilentPresenter presenter;
  InstallAlertPresenter(&presenter);
  if (size == 0) return 0;
  // The first byte chooses the layout and the buffering; the rest is the file.
  const uint8_t options = data[0];
  const std::string& path = FuzzInputPath(data + 1, size - 1);
  std::unique_ptr<CTSCrystalFile> file;
  if (options & 1) {
    file = std::make_unique<CTSPre5CrystalFile>();
  } else {
    file = std::make_unique<CTSCrystalFile>();
  }
  file->SetMappingAllowed(options & 2);
  if (options & 4) file->SetBufferLimit(4096);
  if (!file->Open(path, CFile::kModeRead)) return 0;
  try {
    CTSCrystal crystal;
    file->ReadCrystal(crystal);
  } catch (const CVHException&) {
    // Malformed input is refused with an exception of the tree: what the readers must do.
  }
  return 0;
}
