#include "cli/batch_piece.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "errors/exceptions.h"

namespace {

// Each field as its length on a line of its own, then its bytes.
void Put(std::string& out, const std::string& field) {
  out += std::to_string(field.size()) + '\n' + field;
}

std::string Take(const std::string& text, size_t& at) {
  const size_t end = text.find('\n', at);
  if (end == std::string::npos) throw CVHXFileInvalid();
  size_t length = 0;
  for (size_t i = at; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9' || length > text.size()) throw CVHXFileInvalid();
    length = length * 10 + static_cast<size_t>(text[i] - '0');
  }
  if (end == at || length > text.size() - end - 1) throw CVHXFileInvalid();
  at = end + 1 + length;
  return text.substr(end + 1, length);
}

std::string PieceText(const std::vector<CStructurePiece>& structures) {
  std::string text;
  for (const CStructurePiece& s : structures) {
    Put(text, s.title);
    Put(text, s.profile);
    Put(text, s.row);
    Put(text, s.peaks);
  }
  return text;
}

std::vector<CStructurePiece> PieceOfText(const std::string& text) {
  std::vector<CStructurePiece> structures;
  for (size_t at = 0; at < text.size();) {
    CStructurePiece& s = structures.emplace_back();
    s.title = Take(text, at);
    s.profile = Take(text, at);
    s.row = Take(text, at);
    s.peaks = Take(text, at);
  }
  return structures;
}

}  // namespace

void WritePiece(const std::string& path, const std::vector<CStructurePiece>& structures) {
  // One worker at a time works on an input, so the temporary name needs no more than the
  // input's own.
  const std::string temporary = path + ".tmp";
  const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) throw CVHXFileNotOpen(kSeverityMessage, errno);
  const std::string text = PieceText(structures);
  for (size_t done = 0; done < text.size();) {
    const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = errno ? errno : EIO;
      ::close(descriptor);
      ::unlink(temporary.c_str());
      throw CVHXFile(kSeverityMessage, error);
    }
    done += static_cast<size_t>(written);
  }
  if (::close(descriptor) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw CVHXFile(kSeverityMessage, error);
  }
}

std::vector<CStructurePiece> ReadPiece(const std::string& path) {
  // In one read: the end of a run reads every piece once or twice, and a stream iterator taking
  // a character at a time made that a visible part of a run over small cells.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) throw CVHXFileNotOpen(kSeverityMessage, errno);
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      const int error = errno;
      ::close(descriptor);
      throw CVHXFile(kSeverityMessage, error);
    }
    if (count == 0) break;
    text.append(buffer, static_cast<size_t>(count));
  }
  ::close(descriptor);
  return PieceOfText(text);
}

std::string OutcomeText(const CBatchOutcome& outcome) {
  std::string text;
  Put(text, RecordLine(outcome.record));
  Put(text, outcome.grid);
  return text + PieceText(outcome.structures);
}

CBatchOutcome OutcomeOfText(const std::string& text) {
  size_t at = 0;
  std::string line = Take(text, at);
  if (line.empty() || line.back() != '\n') throw CVHXFileInvalid();
  line.pop_back();
  std::optional<CBatchRecord> record = RecordOfLine(line);
  if (!record) throw CVHXFileInvalid();
  CBatchOutcome outcome;
  outcome.record = std::move(*record);
  outcome.grid = Take(text, at);
  outcome.structures = PieceOfText(text.substr(at));
  return outcome;
}
