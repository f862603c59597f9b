#include "instances/command_line.h"

namespace {

constexpr std::string_view kMagic = "VHCL";
constexpr uint32_t kLayoutVersion = 1;
constexpr std::string_view kPrintOption = "--print";
constexpr std::string_view kEndOfOptions = "--";

void AppendUInt32(std::vector<uint8_t>& block, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) block.push_back(static_cast<uint8_t>(value >> shift));
}

// Reads the block front to back; any read past its end fails the whole block.
class CBlockReader {
 public:
  explicit CBlockReader(std::span<const uint8_t> block) : m_rest(block) {}

  std::optional<std::span<const uint8_t>> Bytes(size_t count) {
    if (count > m_rest.size()) return std::nullopt;
    const auto bytes = m_rest.first(count);
    m_rest = m_rest.subspan(count);
    return bytes;
  }
  std::optional<uint32_t> UInt32() {
    const auto bytes = Bytes(4);
    if (!bytes) return std::nullopt;
    uint32_t value = 0;
    for (int index = 3; index >= 0; --index) value = (value << 8) | (*bytes)[index];
    return value;
  }
  bool AtEnd() const { return m_rest.empty(); }

 private:
  std::span<const uint8_t> m_rest;
};

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

CVHCommandLineInfo ParseCommandLine(std::span<const std::string_view> arguments) {
  CVHCommandLineInfo commandLine;
  bool print = false;
  bool options = true;
  for (const std::string_view argument : arguments) {
    if (options && argument == kEndOfOptions) {
      options = false;
    } else if (options && argument == kPrintOption) {
      print = true;
    } else {
      commandLine.files.emplace_back(argument);
    }
  }
  if (!commandLine.files.empty()) {
    commandLine.request =
        print ? CVHCommandLineInfo::ERequest::kPrint : CVHCommandLineInfo::ERequest::kOpen;
  }
  return commandLine;
}

std::vector<uint8_t> SerialiseCommandLine(const CVHCommandLineInfo& commandLine) {
  std::vector<uint8_t> block(kMagic.begin(), kMagic.end());
  AppendUInt32(block, kLayoutVersion);
  block.push_back(static_cast<uint8_t>(commandLine.request));
  AppendUInt32(block, static_cast<uint32_t>(commandLine.files.size()));
  for (const std::string& file : commandLine.files) {
    AppendUInt32(block, static_cast<uint32_t>(file.size()));
    block.insert(block.end(), file.begin(), file.end());
  }
  return block;
}

std::optional<CVHCommandLineInfo> DeserialiseCommandLine(std::span<const uint8_t> block) {
  CBlockReader reader(block);
  const auto magic = reader.Bytes(kMagic.size());
  if (!magic || AsText(*magic) != kMagic || reader.UInt32() != kLayoutVersion) return std::nullopt;
  const auto request = reader.Bytes(1);
  if (!request || (*request)[0] > static_cast<uint8_t>(CVHCommandLineInfo::ERequest::kPrint)) {
    return std::nullopt;
  }
  CVHCommandLineInfo commandLine;
  commandLine.request = static_cast<CVHCommandLineInfo::ERequest>((*request)[0]);
  const auto count = reader.UInt32();
  if (!count) return std::nullopt;
  for (uint32_t index = 0; index < *count; ++index) {
    const auto length = reader.UInt32();
    const auto path = length ? reader.Bytes(*length) : std::nullopt;
    if (!path) return std::nullopt;
    commandLine.files.emplace_back(AsText(*path));
  }
  if (!reader.AtEnd()) return std::nullopt;
  return commandLine;
}
