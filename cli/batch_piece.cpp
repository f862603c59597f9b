#include "cli/batch_piece.h"

#include <cerrno>
#include <fstream>
#include <iterator>

#include "errors/exceptions.h"
#include "files/whole_file.h"

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
    if (text[i] < '0' || text[i] > '9') throw CVHXFileInvalid();
    length = length * 10 + static_cast<size_t>(text[i] - '0');
  }
  if (end == at || length > text.size() - end - 1) throw CVHXFileInvalid();
  at = end + 1 + length;
  return text.substr(end + 1, length);
}

}  // namespace

void WritePiece(const std::string& path, const std::vector<CStructurePiece>& structures) {
  std::string text;
  for (const CStructurePiece& s : structures) {
    Put(text, s.title);
    Put(text, s.profile);
    Put(text, s.row);
    Put(text, s.peaks);
  }
  WriteWholeFile(path, text);
}

std::vector<CStructurePiece> ReadPiece(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw CVHXFileNotOpen(kSeverityMessage, errno);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
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
