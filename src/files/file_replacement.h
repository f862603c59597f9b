// Replacing a whole file so that nobody ever finds it half written. The new contents go to a
// hidden temporary file beside the target (".<name>.<process>.<count>.tmp"; beside it so that
// the final rename stays on one file system, where it is atomic), which Commit renames over the
// target and Discard removes. A crash, a kill or an error before Commit leaves the old file as it
// was; two writers at once leave one of their files whole.
#pragma once

#include <string>

class CFileReplacement {
 public:
  CFileReplacement() = default;
  CFileReplacement(const CFileReplacement&) = delete;
  CFileReplacement& operator=(const CFileReplacement&) = delete;
  ~CFileReplacement() { Discard(); }

  // Opens for writing what will become `target` and returns the descriptor, or -1 with errno
  // set. A symbolic link is followed, so that the file it names is replaced and the link stays.
  // A target that exists but is not a regular file (a device, a FIFO) is opened directly: it
  // has no contents to keep, and a rename would replace the device node itself. A folder fails
  // with EISDIR.
  int Open(const std::string& target);
  // Whether a temporary file waits for Commit or Discard.
  bool IsPending() const { return !m_temporary.empty(); }
  // The pending temporary file, which holds what was written so far.
  const std::string& TemporaryPath() const { return m_temporary; }
  // Before the descriptor is closed: puts a pending file's data on the disc, so that the rename
  // cannot outlive a crash that loses the data. Returns 0 or the errno.
  int Sync(int descriptor) const;
  // After the descriptor is closed: renames the pending file over the target. Returns 0 or the
  // errno; after a failure the temporary file is gone and the target is as it was.
  int Commit();
  // Removes a pending temporary file; the target stays as it was.
  void Discard();

 private:
  std::string m_temporary;
  std::string m_target;  // the file a symbolic link names, or the target itself
};
