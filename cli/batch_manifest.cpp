#include "cli/batch_manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "cli/arguments.h"
#include "errors/exceptions.h"

namespace {

std::string Header(const std::string& settings) {
  return "# tessaline-cli batch " + settings;
}

constexpr auto kSyncInterval = std::chrono::seconds(1);

void WriteLine(int descriptor, const std::string& line) {
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t written = ::write(descriptor, line.data() + done, line.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw CVHXFile(kSeverityMessage, errno ? errno : EIO);
    done += static_cast<size_t>(written);
  }
}

}  // namespace

CBatchManifest::CBatchManifest(const std::string& path, const std::string& settings, bool resume,
                               const std::string& pieces)
    : m_synced(std::chrono::steady_clock::now()) {
  try {
    Open(path, settings, resume, pieces);
  } catch (...) {
    if (m_descriptor >= 0) ::close(m_descriptor);
    if (m_pieces >= 0) ::close(m_pieces);
    throw;
  }
}

void CBatchManifest::Open(const std::string& path, const std::string& settings, bool resume,
                          const std::string& pieces) {
  m_pieces = ::open(pieces.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (m_pieces < 0) throw CVHXFileNotOpen(kSeverityMessage, errno);
  std::error_code error;
  const bool earlier = resume && std::filesystem::exists(path, error);
  if (earlier) Load(path, Header(settings));
  m_descriptor =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (earlier ? 0 : O_TRUNC), 0666);
  if (m_descriptor < 0) throw CVHXFileNotOpen(kSeverityMessage, errno);
  if (earlier) {
    // Only whole lines count; a kill in the middle of one leaves a piece that the next line
    // must not be glued to.
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const size_t whole = text.rfind('\n') + 1;  // 0 when no line is whole
    if (::ftruncate(m_descriptor, static_cast<off_t>(whole)) != 0 ||
        ::lseek(m_descriptor, 0, SEEK_END) < 0)
      throw CVHXFile(kSeverityMessage, errno);
    if (whole > 0) return;
  }
  WriteLine(m_descriptor, Header(settings) + "\n");
  m_unsynced = true;
  Sync();
}

CBatchManifest::~CBatchManifest() {
  // Best effort on the way out of an error; a run that ends otherwise has synced already.
  if (m_unsynced && ::syncfs(m_pieces) == 0) ::fdatasync(m_descriptor);
  ::close(m_descriptor);
  ::close(m_pieces);
}

void CBatchManifest::Load(const std::string& path, const std::string& header) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw CVHXFileNotOpen(kSeverityMessage, errno);
  std::string line;
  if (!std::getline(file, line) || file.eof()) return;  // not even the header was finished
  if (line != header)
    throw CUsageError("--resume: " + path +
                      " was written by a run with other options; resume with the same ones or "
                      "choose another --out");
  for (size_t number = 2; std::getline(file, line); ++number) {
    if (file.eof()) break;  // cut short by a kill
    const std::optional<CBatchRecord> record = RecordOfLine(line);
    if (!record)
      throw CUsageError("--resume: " + path + " line " + std::to_string(number) +
                        " is not a manifest line");
    m_finished[record->index] = *record;
  }
}

void CBatchManifest::Append(const CBatchRecord& record) {
  WriteLine(m_descriptor, RecordLine(record));
  m_unsynced = true;
  if (std::chrono::steady_clock::now() - m_synced >= kSyncInterval) Sync();
}

void CBatchManifest::Sync() {
  if (!m_unsynced) return;
  if (::syncfs(m_pieces) != 0 || ::fdatasync(m_descriptor) != 0)
    throw CVHXFile(kSeverityMessage, errno);
  m_unsynced = false;
  m_synced = std::chrono::steady_clock::now();
}
