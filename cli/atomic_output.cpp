#include "cli/atomic_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "errors/exceptions.h"

namespace {

void WriteFully(int descriptor, std::string_view bytes, uint64_t offset) {
  while (!bytes.empty()) {
    const ssize_t written =
        ::pwrite(descriptor, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw CVHXFile(kSeverityMessage, errno ? errno : EIO);
    bytes.remove_prefix(static_cast<size_t>(written));
    offset += static_cast<uint64_t>(written);
  }
}

}  // namespace

CAtomicOutput::CAtomicOutput(const std::string& path) : m_descriptor(m_replacement.Open(path)) {
  if (m_descriptor < 0) throw CVHXFileNotOpen(kSeverityMessage, errno);
}

CAtomicOutput::~CAtomicOutput() {
  if (m_descriptor >= 0) ::close(m_descriptor);
}

void CAtomicOutput::Write(std::string_view bytes) {
  WriteFully(m_descriptor, bytes, m_size);
  m_size += bytes.size();
}

void CAtomicOutput::WriteAt(uint64_t offset, std::string_view bytes) {
  WriteFully(m_descriptor, bytes, offset);
}

void CAtomicOutput::Commit() {
  if (const int error = m_replacement.Sync(m_descriptor)) throw CVHXFile(kSeverityMessage, error);
  const int closed = ::close(m_descriptor);
  m_descriptor = -1;
  if (closed != 0) throw CVHXFile(kSeverityMessage, errno);
  if (const int error = m_replacement.Commit()) throw CVHXFile(kSeverityMessage, error);
}
