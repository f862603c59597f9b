// Session files for the readers' tests and the fuzz corpus: the legacy format written chunk by
// chunk, and the current format taken apart into its records so that a test can damage or
// extend a file the writer made.
//
// Legacy format (CLegacySessionBuilder), big-endian throughout. Header: "TSDF", the creator
// "Tessaline" NUL-padded to 12 bytes, a platform byte ('W' for the Windows edition), the writer's
// version, 10 bytes of ASCII NUL-padded. Then chunks of tag, 32-bit length and data; reals are
// 32-bit floats, texts an 8-bit length and that many bytes in the Macintosh character set:
//   "nPAT"  32-bit number of patterns
//   "PLST"  32-bit count, then one byte per pattern in list order: bit 0 plotted, bit 1 selected
//   "PAT_"  the next pattern's common fields: title; colour (32-bit ARGB); line style (8-bit);
//           line width, x offset, y offset, y scale, mixture fraction
//   "PAT?"  that pattern's 32-bit kind and data:
//           1 observed data: 32-bit point count, then x and y of each point;
//           2 crystal: a, b, c, alpha, beta, gamma; the space-group symbol (text); 16-bit site
//           count, per site an 8-bit species count, per species its symbol (text) and
//           occupancy, then the label (text) and x, y, z; 16-bit count of displacement records
//           (one per site), each an 8-bit type (0 none, 1 Uiso, 2 Uij) and its values: Uiso, or
//           U11, U22, U33, U12, U13, U23
//   "PLT_"  simulation, axis and profile type (8-bit each); x minimum, x maximum, d minimum,
//           K-alpha-1, K-alpha-2, their ratio, 2-theta width, eta; monochromatic (8-bit);
//           32-bit number of profile points; y minimum, y maximum; logarithmic y and gridlines
//           (8-bit each); plot title (text)
//   "WIN_"  the window's rectangle as four 16-bit values top, left, bottom, right; an 8-bit
//           set of panes: bit 0 patterns list, bit 1 inspector, bit 2 reflexions
//   "STOP"  empty; reading ends here
// Chunks of other tags are passed over by their length.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/session.h"
#include "files/vhfile.h"

class CTSCrystal;

struct CLegacySessionOptions {
  uint8_t platform = 'W';
  std::string version = "4.2.1";
  // Deliberate faults.
  int countChange = 0;         // added to "nPAT"
  int listCountChange = 0;     // entries added to "PLST" (removed when negative)
  int displacementChange = 0;  // added to the count of displacement records
};

class CLegacySessionBuilder {
 public:
  explicit CLegacySessionBuilder(CLegacySessionOptions options = {})
      : m_options(std::move(options)) {}

  // The whole file: "nPAT", "PLST", each pattern's "PAT_" and "PAT?", "PLT_", "WIN_", "STOP".
  // Crystal and observed patterns only, as the format holds no others.
  void Write(const CSession& session, const std::string& path);

  void Begin(const std::string& path);
  void WriteCount(uint32_t count);
  void WriteList(const CPatternList& patterns);
  void WriteCommon(const CTSPattern& pattern);
  void WriteCrystal(const CTSCrystal& crystal);
  void WriteObserved(const CProfile& points);
  void WriteKind(uint32_t kind);  // "PAT?" with a kind and nothing else
  void WritePlot(const CPlotSpec& plotSpec, const CPlotDisplay& display);
  void WriteWindow(const CWindowState& window);
  void WriteChunk(const char (&tag)[5], const std::string& data);
  void Finish();  // "STOP", then closes the file

 private:
  void BeginChunk(const char (&tag)[5]);
  void EndChunk();
  void WriteText(const std::string& text);
  void WriteFloat(double value);

  CLegacySessionOptions m_options;
  CVHFile m_file;
  uint64_t m_lengthPosition = 0;
};

// One record of a current session file: its tag, and either its data or, for a block, the
// records it holds.
struct CSessionRecord {
  uint32_t tag = 0;
  std::string data;
  bool block = false;
  std::vector<CSessionRecord> children;

  static CSessionRecord Plain(uint32_t tag, std::string data) {
    return {tag, std::move(data), false, {}};
  }

  // The first record with `tag` among the children, at any depth, or nullptr.
  CSessionRecord* Find(uint32_t tag);
  // Every record with `tag`, at any depth, in file order.
  std::vector<CSessionRecord*> FindAll(uint32_t tag);
};

// A current session file taken apart: the records before the trailer, blocks opened. Bytes puts
// it together again with every length computed anew and a fresh trailer (none when `trailer` is
// false), so that a test's change is not refused for its CRC.
class CSessionRecords {
 public:
  explicit CSessionRecords(const std::string& bytes);

  std::string Bytes(bool trailer = true) const;
  CSessionRecord* Find(uint32_t tag);
  std::vector<CSessionRecord*> FindAll(uint32_t tag);

  CSessionRecord root;  // its children are the file's records
};

// `bytes` with the trailer's CRC computed anew over everything before it.
std::string WithFreshTrailer(std::string bytes);

// Record data as the writer stores it (little-endian), and back.
std::string LittleEndian32(uint32_t value);
uint32_t LittleEndianValue(const std::string& bytes, size_t at);
// The tag of four characters given at run time.
uint32_t TagOf(std::string_view text);
