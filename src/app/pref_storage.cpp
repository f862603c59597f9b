#include "app/pref_storage.h"

#include <mutex>

namespace {

std::mutex& StorageLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

bool CPrefStorage::IsReadable() const {
  std::lock_guard lock(StorageLock());
  return Readable();
}

CPrefStatus CPrefStorage::ReadBytes(std::string_view key, std::vector<std::byte>& bytes) const {
  std::lock_guard lock(StorageLock());
  return Bytes(key, bytes);
}

CPrefStatus CPrefStorage::ReadText(std::string_view key, std::string& text) const {
  std::lock_guard lock(StorageLock());
  return Text(key, text);
}

void CPrefStorage::WriteBytes(std::string_view key, std::span<const std::byte> bytes) {
  std::lock_guard lock(StorageLock());
  StoreBytes(key, bytes);
}

void CPrefStorage::WriteText(std::string_view key, std::string_view text) {
  std::lock_guard lock(StorageLock());
  StoreText(key, text);
}
