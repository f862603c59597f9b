// The files that introduce the program to a Linux desktop, against the program itself: every
// file type the program opens from a file manager has its glob in the MIME types it installs,
// and the menu entry offers exactly the types declared there, with an icon that is installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "files/cif_file.h"
#include "files/crystal_file.h"
#include "files/session_file.h"
#include "files/tess_file.h"
#include "files/vhtx_file.h"

namespace {

const std::filesystem::path kDesktopFolder =
    std::filesystem::path(TESSALINE_SOURCE_DIR) / "gui/desktop";

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string DesktopValue(const std::string& entry, const std::string& key) {
  std::istringstream lines(entry);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

std::set<std::string> DesktopList(const std::string& entry, const std::string& key) {
  std::set<std::string> items;
  std::istringstream value(DesktopValue(entry, key));
  for (std::string item; std::getline(value, item, ';');) {
    if (!item.empty()) items.insert(item);
  }
  return items;
}

// The value of the attribute `name` in the first tag of `tag` at or after `from`.
std::string Attribute(const std::string& xml, size_t& from, const std::string& tag,
                      const std::string& name) {
  from = xml.find("<" + tag + " ", from);
  if (from == std::string::npos) return {};
  const size_t attribute = xml.find(name + "=\"", from);
  if (attribute == std::string::npos) return {};
  const size_t start = attribute + name.size() + 2;
  return xml.substr(start, xml.find('"', start) - start);
}

// Each glob pattern of the shared-mime-info file with the type it belongs to.
std::map<std::string, std::string> GlobTypes(const std::string& xml) {
  std::map<std::string, std::string> globs;
  size_t type = 0;
  for (std::string name; !(name = Attribute(xml, type, "mime-type", "type")).empty(); ++type) {
    const size_t end = xml.find("</mime-type>", type);
    size_t glob = type;
    for (std::string pattern;
         !(pattern = Attribute(xml, glob, "glob", "pattern")).empty() && glob < end; ++glob) {
      globs[pattern] = name;
    }
  }
  return globs;
}

TEST(DesktopFiles, TheFileTypesTheProgramOpensAreDeclaredAndOffered) {
  const std::string entry = ReadText(kDesktopFolder / "tessaline.desktop");
  const std::map<std::string, std::string> globs =
      GlobTypes(ReadText(kDesktopFolder / "tessaline-mime.xml"));
  const std::set<std::string> offered = DesktopList(entry, "MimeType");

  for (const unsigned type : {CTSCrystalFile::kCrystalTypeId, CTSVHTXFile::kTypeId,
                              CTSSessionFile::kTypeId, CTSCIFFile::kTypeId}) {
    for (const std::string& extension : CTessFile::Extensions(type)) {
      SCOPED_TRACE(extension);
      const auto glob = globs.find("*" + extension);  // the extension comes with its dot
      ASSERT_TRUE(glob != globs.end()) << "no glob";
      EXPECT_TRUE(offered.count(glob->second)) << glob->second << " not offered";
    }
  }
  std::set<std::string> declared;
  for (const auto& [pattern, type] : globs) declared.insert(type);
  EXPECT_EQ(offered, declared);
  EXPECT_TRUE(std::filesystem::exists(kDesktopFolder / (DesktopValue(entry, "Icon") + ".svg")));
}

}  // namespace
