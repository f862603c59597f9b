#include "files/platform_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "errors/exceptions.h"

namespace {

int PosixFlags(unsigned flags) {
  int result = O_CLOEXEC;
  switch (flags & CFile::kModeAccessMask) {
    case CFile::kModeWrite:
      result |= O_WRONLY;
      break;
    case CFile::kModeReadWrite:
      result |= O_RDWR;
      break;
    default:
      result |= O_RDONLY;
      break;
  }
  if (flags & CFile::kModeCreate) {
    result |= O_CREAT;
    if (!(flags & CFile::kModeNoTruncate)) result |= O_TRUNC;
  }
  return result;
}

[[noreturn]] void ThrowSystemError(int code = errno) {
  throw CVHXFile(kSeverityMessage, code);
}

}  // namespace

CFile::~CFile() { Abort(); }

bool CFile::Open(const std::string& path, unsigned flags, CFileError* error) {
  CFile::Abort();  // only this level: derived classes tidy their own state before opening
  int descriptor;
  if (ReplacesWholeFile(flags)) {
    descriptor = m_replacement.Open(path);
  } else {
    do {
      descriptor = ::open(path.c_str(), PosixFlags(flags), 0666);
    } while (descriptor < 0 && errno == EINTR);
  }
  if (descriptor < 0) {
    if (error) *error = {errno, path};
    return false;
  }
  struct stat status {};
  if (::fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(descriptor);
    if (error) *error = {EISDIR, path};
    return false;
  }
  m_descriptor = descriptor;
  m_borrowed = false;
  m_path = path;
  return true;
}

void CFile::Close() {
  if (m_descriptor < 0) return;
  const int descriptor = m_descriptor;
  const bool borrowed = m_borrowed;
  m_descriptor = -1;
  m_borrowed = false;
  if (borrowed) return;  // the stream's owner closes it
  int code = m_replacement.Sync(descriptor);
  if (::close(descriptor) != 0 && errno != EINTR && code == 0) code = errno;
  if (code == 0) code = m_replacement.Commit();
  if (code != 0) {
    m_replacement.Discard();
    ThrowSystemError(code);
  }
}

void CFile::Abort() {
  if (m_descriptor >= 0 && !m_borrowed) ::close(m_descriptor);
  m_descriptor = -1;
  m_borrowed = false;
  m_replacement.Discard();
}

void CFile::Flush() { Descriptor(); }

uint64_t CFile::GetLength() const {
  struct stat status {};
  if (::fstat(Descriptor(), &status) != 0) ThrowSystemError();
  return static_cast<uint64_t>(status.st_size);
}

uint64_t CFile::GetPosition() const {
  const off_t position = ::lseek(Descriptor(), 0, SEEK_CUR);
  if (position < 0) ThrowSystemError();
  return static_cast<uint64_t>(position);
}

uint64_t CFile::Seek(int64_t offset, SeekOrigin origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  const off_t position = ::lseek(Descriptor(), offset, kWhence[origin]);
  if (position < 0) ThrowSystemError();
  return static_cast<uint64_t>(position);
}

size_t CFile::Read(void* buffer, size_t count) {
  const int descriptor = Descriptor();
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t got = ::read(descriptor, out + done, count - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError();
    }
    done += static_cast<size_t>(got);
  }
  return done;
}

void CFile::Write(const void* buffer, size_t count) {
  const int descriptor = Descriptor();
  const auto* in = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t put = ::write(descriptor, in, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError();
    }
    in += put;
    count -= static_cast<size_t>(put);
  }
}

std::string CFile::GetFileTitle() const {
  const size_t slash = m_path.find_last_of('/');
  return slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

int CFile::Descriptor() const {
  if (m_descriptor < 0) throw CVHXFileNotOpen(kSeverityInternal);
  return m_descriptor;
}

void CFile::AttachBorrowed(int descriptor, const std::string& path) {
  m_descriptor = descriptor;
  m_borrowed = true;
  m_path = path;
}

void CFile::DetachBorrowed() {
  m_descriptor = -1;
  m_borrowed = false;
}
