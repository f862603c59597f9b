#include "files/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

// As many links as the system itself follows before it gives up with ELOOP.
constexpr int kMaxLinks = 40;
// Leaves room in a file name of 255 bytes for the dot, the process, the count and ".tmp".
constexpr size_t kNameLimit = 200;
// Names taken by temporary files that a killed process left behind are skipped this often.
constexpr int kAttempts = 100;

// The file `path` names once the symbolic links of its last component are followed.
bool FollowLinks(std::string& path) {
  for (int hops = 0;; ++hops) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
    if (hops == kMaxLinks) {
      errno = ELOOP;
      return false;
    }
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(path, error);
    if (error) {
      errno = error.value();
      return false;
    }
    path = (link.is_absolute() ? link : std::filesystem::path(path).parent_path() / link).string();
  }
}

int OpenDirectly(const std::string& path) {
  int descriptor;
  do {
    descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

// Makes a rename in `folder` survive a crash. Best effort: the new file is complete either way,
// and some file systems cannot sync a folder.
void SyncFolder(const std::filesystem::path& folder) {
  const int descriptor =
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  ::fsync(descriptor);
  ::close(descriptor);
}

}  // namespace

int CFileReplacement::Open(const std::string& target) {
  Discard();
  std::string file = target;
  if (!FollowLinks(file)) return -1;
  const std::filesystem::path path(file);
  const std::string name = path.filename().string();
  // A path that names no file ("" or "folder/"): the system says why.
  if (name.empty()) return OpenDirectly(file);

  struct stat status {};
  const bool exists = ::stat(file.c_str(), &status) == 0;
  if (!exists && errno != ENOENT) return -1;
  if (exists && !S_ISREG(status.st_mode)) return OpenDirectly(file);  // the system refuses a folder
  // A file its owner made read-only stays as it is, although its folder would let it be replaced.
  if (exists && ::access(file.c_str(), W_OK) != 0) return -1;

  static std::atomic<unsigned> count{0};
  const std::string prefix =
      "." + name.substr(0, kNameLimit) + "." + std::to_string(::getpid()) + ".";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string temporary =
        (path.parent_path() / (prefix + std::to_string(count++) + ".tmp")).string();
    // 0666 lets the umask decide a new file's permissions, as for any file the program creates.
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      return -1;
    }
    // Best effort: the contents matter more than a mode that a file system (FAT) may refuse.
    // Set-id bits are not carried over, as the kernel drops them when a file's contents change.
    if (exists) ::fchmod(descriptor, status.st_mode & 0777);
    m_temporary = temporary;
    m_target = file;
    return descriptor;
  }
  errno = EEXIST;
  return -1;
}

int CFileReplacement::Sync(int descriptor) const {
  if (!IsPending()) return 0;
  return ::fsync(descriptor) == 0 ? 0 : errno;
}

int CFileReplacement::Commit() {
  if (!IsPending()) return 0;
  if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    const int code = errno;
    Discard();
    return code;
  }
  m_temporary.clear();
  SyncFolder(std::filesystem::path(m_target).parent_path());
  return 0;
}

void CFileReplacement::Discard() {
  if (!IsPending()) return;
  // Nothing to report to: this runs on the way out of an error or from a destructor.
  ::unlink(m_temporary.c_str());
  m_temporary.clear();
}
