// Files opened to be replaced whole: the target holds either its old contents or the complete
// new ones, whatever happens to the writer.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/profile_file.h"
#include "files/stdio_file.h"
#include "files/tess_file.h"
#include "files/vhfile.h"
#include "patterns/crystal_pattern.h"
#include "patterns/plot_spec.h"
#include "support/data_files.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kReplace = CFile::kModeWrite | CFile::kModeCreate;

// A folder of the test's own, so that a temporary file left behind shows.
class CTempFolder {
 public:
  CTempFolder() {
    std::string name = (fs::temp_directory_path() / "tessaline-atomic-XXXXXX").string();
    if (::mkdtemp(name.data())) m_path = name;
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;
  ~CTempFolder() { fs::remove_all(m_path); }

  fs::path operator/(const std::string& name) const { return m_path / name; }
  const fs::path& Path() const { return m_path; }
  // The temporary files of writes not finished.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_path)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with('.') && name.ends_with(".tmp")) names.push_back(name);
    }
    return names;
  }

 private:
  fs::path m_path;
};

void Put(const fs::path& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// Bytes that change from place to place, so that a file cut short or mixed from two shows.
std::string Pattern(char seed, size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(seed + i % 251);
  return text;
}

unsigned ModeOf(const fs::path& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_mode & 0777;
}

// Each class through which the program writes files.
struct CFileClass {
  const char* name;
  std::unique_ptr<CFile> (*make)();
};

void PrintTo(const CFileClass& fileClass, std::ostream* out) {
  *out << fileClass.name;
}

template <class F>
std::unique_ptr<CFile> Make() {
  return std::make_unique<F>();
}

class AtomicWrite : public testing::TestWithParam<CFileClass> {
 protected:
  std::unique_ptr<CFile> OpenToReplace(const fs::path& path, unsigned flags = kReplace) {
    std::unique_ptr<CFile> file = GetParam().make();
    CFileError error;
    EXPECT_TRUE(file->Open(path.string(), flags, &error)) << std::strerror(error.code);
    return file;
  }
  void Replace(const fs::path& path, const std::string& contents) {
    std::unique_ptr<CFile> file = OpenToReplace(path);
    file->Write(contents.data(), contents.size());
    file->Close();
  }

  CTempFolder m_folder;
};

TEST_P(AtomicWrite, CompletedWriteReplacesTheOldContents) {
  const fs::path target = m_folder / "pattern.txt";
  Put(target, "old contents\n");
  std::unique_ptr<CFile> file = OpenToReplace(target);
  ASSERT_TRUE(file->IsOpen());
  EXPECT_EQ(file->GetFilePath(), target.string());
  const std::string text = Pattern('a', 300000);
  file->Write(text.data(), text.size());
  file->Flush();
  EXPECT_EQ(ReadWholeFile(target), "old contents\n");  // readers see the old file until Close
  EXPECT_EQ(m_folder.Leftovers().size(), 1u);
  file->Close();
  EXPECT_TRUE(ReadWholeFile(target) == text);
  EXPECT_TRUE(m_folder.Leftovers().empty());
}

TEST_P(AtomicWrite, AbandonedWriteLeavesTheOldFileByteForByte) {
  const fs::path target = m_folder / "crystal.cif";
  const std::string old = Pattern('o', 100000);
  const std::string text = Pattern('n', 200000);
  Put(target, old);
  for (const std::string ending : {"abort", "throw", "destroy"}) {
    SCOPED_TRACE(ending);
    try {
      std::unique_ptr<CFile> file = OpenToReplace(target);
      file->Write(text.data(), text.size());
      if (ending == "abort") file->Abort();
      if (ending == "throw") throw std::runtime_error("the writer failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(ReadWholeFile(target) == old);
    EXPECT_TRUE(m_folder.Leftovers().empty());
  }

  // A Close that cannot put the file in place (the target became a folder meanwhile) throws and
  // tidies up.
  const fs::path folder = m_folder / "became_a_folder";
  std::unique_ptr<CFile> file = OpenToReplace(folder);
  file->Write(text.data(), text.size());
  fs::create_directories(folder / "inside");
  EXPECT_THROW(file->Close(), CVHException);
  EXPECT_TRUE(fs::is_directory(folder / "inside"));
  EXPECT_TRUE(m_folder.Leftovers().empty());
}

TEST_P(AtomicWrite, KeepsTheModeOfAnExistingFileAndGivesANewOneTheUmasks) {
  const fs::path existing = m_folder / "private.txt";
  Put(existing, "old");
  ::chmod(existing.c_str(), 0640);
  Replace(existing, "new");
  EXPECT_EQ(ReadWholeFile(existing), "new");
  EXPECT_EQ(ModeOf(existing), 0640u);

  const mode_t previous = ::umask(027);
  Replace(m_folder / "fresh.txt", "new");
  ::umask(previous);
  EXPECT_EQ(ModeOf(m_folder / "fresh.txt"), 0640u);
}

TEST_P(AtomicWrite, ThroughALinkReplacesTheFileItNamesAndKeepsTheLink) {
  fs::create_directory(m_folder / "data");
  Put(m_folder / "data" / "real.txt", "old");
  fs::create_symlink("data/real.txt", m_folder / "link.txt");
  Replace(m_folder / "link.txt", "new");
  ASSERT_TRUE(fs::is_symlink(m_folder / "link.txt"));
  EXPECT_EQ(fs::read_symlink(m_folder / "link.txt"), "data/real.txt");
  EXPECT_EQ(ReadWholeFile(m_folder / "data" / "real.txt"), "new");

  // A link to a file not yet there creates that file, as writing through it always did.
  fs::create_symlink("made.txt", m_folder / "dangling.txt");
  Replace(m_folder / "dangling.txt", "made");
  EXPECT_TRUE(fs::is_symlink(m_folder / "dangling.txt"));
  EXPECT_EQ(ReadWholeFile(m_folder / "made.txt"), "made");
  EXPECT_TRUE(m_folder.Leftovers().empty());
}

TEST_P(AtomicWrite, WritesToADeviceDirectly) {
  Replace("/dev/null", "nothing to keep");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_P(AtomicWrite, MissingFolderOrAFolderAsTargetFailsWithTheReason) {
  std::unique_ptr<CFile> file = GetParam().make();
  CFileError error;
  const fs::path missing = m_folder / "missing" / "out.txt";
  EXPECT_FALSE(file->Open(missing.string(), kReplace, &error));
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_EQ(error.path, missing.string());
  EXPECT_FALSE(file->Open(m_folder.Path().string(), kReplace, &error));
  EXPECT_EQ(error.code, EISDIR);
  EXPECT_FALSE(file->IsOpen());
  EXPECT_TRUE(m_folder.Leftovers().empty());
}

TEST_P(AtomicWrite, KeepingTheContentsStillWritesInPlace) {
  const fs::path target = m_folder / "log.txt";
  Put(target, "old\n");
  std::unique_ptr<CFile> file = OpenToReplace(target, kReplace | CFile::kModeNoTruncate);
  file->Seek(0, CFile::kEnd);
  file->Write("more\n", 5);
  EXPECT_TRUE(m_folder.Leftovers().empty());
  file->Close();
  EXPECT_EQ(ReadWholeFile(target), "old\nmore\n");
}

INSTANTIATE_TEST_SUITE_P(EveryFileClass, AtomicWrite,
                         testing::Values(CFileClass{"Platform", &Make<CFile>},
                                         CFileClass{"Buffered", &Make<CVHFile>},
                                         CFileClass{"Text", &Make<CVHStdioFile<CFile>>},
                                         CFileClass{"ProgramText", &Make<CVHStdioFile<CTessFile>>}),
                         [](const testing::TestParamInfo<CFileClass>& info) {
                           return std::string(info.param.name);
                         });

// Writes `contents` to `target` as the program's text writers do; never returns.
[[noreturn]] void WriteAndExit(const fs::path& target, const std::string& contents) {
  try {
    CVHStdioFile<CFile> file;
    if (!file.Open(target.string(), kReplace | CFile::kTypeText)) ::_exit(1);
    file.WriteString(contents);
    file.Close();
  } catch (...) {
    ::_exit(2);
  }
  ::_exit(0);
}

TEST(AtomicWriteProcesses, KilledWriterLeavesTheOldFileWhole) {
  CTempFolder folder;
  const fs::path target = folder / "profile.txt";
  const std::string old = Pattern('o', 1 << 20);
  Put(target, old);
  int underWay[2], never[2];
  ASSERT_EQ(::pipe(underWay), 0);
  ASSERT_EQ(::pipe(never), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Tells the parent once the write is well under way, and never gets to Close.
    CVHStdioFile<CFile> file;
    if (!file.Open(target.string(), kReplace | CFile::kTypeText)) ::_exit(1);
    const std::string chunk = Pattern('n', 1 << 20);
    for (int i = 0; i < 32; ++i) {
      file.WriteString(chunk);
      if (i == 12 && ::write(underWay[1], "w", 1) != 1) ::_exit(2);
    }
    char byte;
    while (::read(never[0], &byte, 1) != 0) {
    }
    ::_exit(3);
  }
  ::close(underWay[1]);
  char byte = 0;
  const ssize_t told = ::read(underWay[0], &byte, 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(underWay[0]);
  ::close(never[0]);
  ::close(never[1]);
  ASSERT_EQ(told, 1) << "the writer stopped before it was under way";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_TRUE(ReadWholeFile(target) == old);
  // A killed process cannot tidy up: its hidden temporary file stays, named as ours.
  const std::vector<std::string> leftovers = folder.Leftovers();
  ASSERT_EQ(leftovers.size(), 1u);
  EXPECT_TRUE(leftovers[0].starts_with(".profile.txt.")) << leftovers[0];
  EXPECT_GE(fs::file_size(folder / leftovers[0]), 12u << 20);
}

TEST(AtomicWriteProcesses, TwoWritersAtOnceLeaveOneWholeFile) {
  CTempFolder folder;
  const fs::path target = folder / "session.txt";
  const std::string contents[] = {Pattern('a', 6 << 20), Pattern('b', 4 << 20)};
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Put(target, "old");
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
      children[i] = ::fork();
      ASSERT_GE(children[i], 0);
      if (children[i] == 0) {
        ::close(start[1]);
        char byte;
        (void)::read(start[0], &byte, 1);  // both start when the parent closes the pipe
        WriteAndExit(target, contents[i]);
      }
    }
    ::close(start[0]);
    ::close(start[1]);
    for (const pid_t child : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const std::string result = ReadWholeFile(target);
    EXPECT_TRUE(result == contents[0] || result == contents[1]) << result.size() << " bytes";
    EXPECT_TRUE(folder.Leftovers().empty());
  }
}

TEST(AtomicWriteEndToEnd, CrystalFilesReplaceTheOldOnesWhole) {
  const CCrystalFile quartz = ReadCrystalFile(TestDataPath("quartz.cif").string());
  CTempFolder folder;
  for (const std::string name : {"quartz.cif", "quartz.vhtx"}) {
    SCOPED_TRACE(name);
    Put(folder / name, "an older structure");
    WriteCrystalFile((folder / name).string(), quartz.crystal, quartz.title);
    const CTSCrystal read = ReadCrystalFile((folder / name).string()).crystal;
    EXPECT_EQ(read.sites.size(), quartz.crystal.sites.size());
    EXPECT_DOUBLE_EQ(read.a, quartz.crystal.a);
  }
  EXPECT_TRUE(folder.Leftovers().empty());
}

TEST(AtomicWriteEndToEnd, ProfileThatFailsToExportLeavesTheOldProfile) {
  CTempFolder folder;
  const fs::path target = folder / "pattern.txt";
  const CPlotSpec plot = CPlotSpec::BuiltIn();
  const auto Write = [&](const CProfile& profile) {
    const auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
    pattern->ProfilePoints(false) = profile;
    CTSProfileFile file;
    ASSERT_TRUE(file.Open(target.string(), kReplace | CFile::kTypeText));
    file.WriteProfile(*pattern, plot);
    file.Close();
  };
  Write({{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}});
  const std::string exported = ReadWholeFile(target);
  ASSERT_NE(exported.find("5.0000"), std::string::npos);

  EXPECT_THROW(Write({{1, 1}, {2, 2}}), CVHXFileProfileTooFewPoints);
  EXPECT_EQ(ReadWholeFile(target), exported);
  EXPECT_TRUE(folder.Leftovers().empty());
}

}  // namespace
