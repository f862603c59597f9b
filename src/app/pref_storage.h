// Where the preferences are kept between runs: named values of bytes or of text. The store
// (app/vh_preferences.h) decides what the bytes mean; a storage only keeps them. Every access,
// through any storage, holds one process-wide lock, so that two threads never interleave their
// reads and writes of the same place.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The outcome of reading one value.
enum CPrefStatus : int {
  kPrefRead = 0,            // read and taken
  kPrefLengthMismatch = 1,  // a text whose length does not match the stored count
  kPrefWrongSize = 2,       // present, but not what the value can take
  kPrefMissing = 3,         // absent (or, for a text, of another kind or empty)
};

class CPrefStorage {
 public:
  virtual ~CPrefStorage() = default;

  // Whether the storage could be opened and read at all.
  bool IsReadable() const;
  // Bytes of a value stored as bytes: kPrefRead, kPrefMissing, or kPrefWrongSize for a value
  // stored as text.
  CPrefStatus ReadBytes(std::string_view key, std::vector<std::byte>& bytes) const;
  // Text of a value stored as text: kPrefRead, kPrefMissing (absent, stored as bytes, or empty),
  // or kPrefLengthMismatch for a text with a null character inside.
  CPrefStatus ReadText(std::string_view key, std::string& text) const;
  // Replace any older value of the key.
  void WriteBytes(std::string_view key, std::span<const std::byte> bytes);
  void WriteText(std::string_view key, std::string_view text);

 protected:
  // The same, called with the storage lock held.
  virtual bool Readable() const = 0;
  virtual CPrefStatus Bytes(std::string_view key, std::vector<std::byte>& bytes) const = 0;
  virtual CPrefStatus Text(std::string_view key, std::string& text) const = 0;
  virtual void StoreBytes(std::string_view key, std::span<const std::byte> bytes) = 0;
  virtual void StoreText(std::string_view key, std::string_view text) = 0;
};
