// One preference: a named, typed value with a factory default, a lock of its own and a place in
// the save groups of its store. CPrefScalar holds one value, CPrefArray a sequence; both keep
// their stored form (the bytes of the value, or its text) in one place so that the checksum and
// the storage always see the same bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/pref_storage.h"
#include "app/pref_types.h"

class CVHPreferences;

class CPrefValue {
 public:
  // Holds the value's lock for its own lifetime.
  class CMutexLock {
   public:
    explicit CMutexLock(const CPrefValue& value) : m_lock(value.m_mutex) {}

   private:
    std::lock_guard<std::mutex> m_lock;
  };

  // `groups` holds the value's save-group bits and flags (CVHPreferences). With an owner the
  // value joins the end of the owner's list; without one it stands alone.
  CPrefValue(uint16_t groups, std::string key, CVHPreferences* owner);
  virtual ~CPrefValue() = default;
  CPrefValue(const CPrefValue&) = delete;
  CPrefValue& operator=(const CPrefValue&) = delete;

  // --- Virtual operations, in slot order ------------------------------------------------------
  // The running CRC-32 continued over the value's stored bytes.
  virtual uint32_t UpdateChecksum(uint32_t crc) const;
  // Reads the value stored under `key` (its own key, or the one it had in an earlier version);
  // the value changes only when the status is kPrefRead.
  virtual CPrefStatus ReadFrom(const CPrefStorage& storage, std::string_view key) = 0;
  virtual void Write(CPrefStorage& storage) const;
  virtual size_t Count() const { return 1; }
  // Bytes of the stored form.
  virtual size_t Size() const;

  // --- For listings and command lines ---------------------------------------------------------
  virtual std::string TypeName() const = 0;
  virtual std::string Text() const = 0;
  // False, with the value unchanged, for a text that is no value of the kind.
  virtual bool SetFromText(std::string_view text) = 0;
  virtual void RestoreDefault() = 0;

  CPrefStatus Read(const CPrefStorage& storage) { return ReadFrom(storage, m_key); }
  const std::string& Key() const { return m_key; }
  uint16_t Groups() const { return m_groups; }
  bool InGroups(uint16_t mask) const { return (m_groups & mask) != 0; }
  CVHPreferences* Owner() const { return m_owner; }

 protected:
  // The value as the storage keeps it: the bytes of the value, or of its text.
  struct CStoredForm {
    std::vector<std::byte> bytes;
    bool text = false;
  };
  virtual CStoredForm StoredForm() const = 0;

 private:
  uint16_t m_groups;
  std::string m_key;
  CVHPreferences* m_owner;
  mutable std::mutex m_mutex;
};

template <class T>
class CPrefScalar : public CPrefValue {
  static_assert(kPrefTypeName<T> != nullptr, "a preference holds only the kinds of pref_types.h");
  static_assert(kPrefStoredAsText<T> || std::is_trivially_copyable_v<T>);

 public:
  CPrefScalar(uint16_t groups, std::string key, CVHPreferences* owner, T factoryDefault)
      : CPrefValue(groups, std::move(key), owner),
        m_value(factoryDefault),
        m_default(std::move(factoryDefault)) {}

  T Get() const {
    CMutexLock lock(*this);
    return m_value;
  }
  void Set(T value) {
    {
      CMutexLock lock(*this);
      m_value = value;
    }
    Changed(value);
  }
  const T& Default() const { return m_default; }

  CPrefStatus ReadFrom(const CPrefStorage& storage, std::string_view key) override {
    T value{};
    CPrefStatus status;
    if constexpr (kPrefStoredAsText<T>) {
      std::string text;
      status = storage.ReadText(key, text);
      value = T(text);
    } else {
      std::vector<std::byte> bytes;
      status = storage.ReadBytes(key, bytes);
      if (status == kPrefRead && bytes.size() != sizeof(T)) status = kPrefWrongSize;
      if (status == kPrefRead) value = FromBytes(bytes);
    }
    if (status == kPrefRead) Set(std::move(value));
    return status;
  }
  std::string TypeName() const override { return kPrefTypeName<T>; }
  std::string Text() const override { return PrefText(Get()); }
  bool SetFromText(std::string_view text) override {
    T value = Get();
    if (!PrefFromText(text, value)) return false;
    Set(std::move(value));
    return true;
  }
  void RestoreDefault() override { Set(m_default); }

 protected:
  // Called with each value the preference takes (set, read or restored), outside its lock.
  virtual void Changed(const T&) {}

  CStoredForm StoredForm() const override {
    const T value = Get();
    if constexpr (kPrefStoredAsText<T>) {
      const std::string text = PrefText(value);
      const auto* bytes = reinterpret_cast<const std::byte*>(text.data());
      return {{bytes, bytes + text.size()}, true};
    } else {
      std::vector<std::byte> bytes(sizeof(T));
      std::memcpy(bytes.data(), &value, sizeof(T));
      return {std::move(bytes), false};
    }
  }

 private:
  static T FromBytes(const std::vector<std::byte>& bytes) {
    // Any byte but 0 is true; copying another byte into a bool would make an invalid one.
    if constexpr (std::is_same_v<T, bool>) {
      return bytes[0] != std::byte{0};
    } else {
      T value;
      std::memcpy(&value, bytes.data(), sizeof(T));
      return value;
    }
  }

  T m_value;
  const T m_default;
};

// A scalar that a process-wide setting follows: each value the preference takes is handed on.
template <class T>
class CPrefForwarded : public CPrefScalar<T> {
 public:
  using CHandOn = void (*)(T);

  CPrefForwarded(uint16_t groups, std::string key, CVHPreferences* owner, T factoryDefault,
                 CHandOn handOn)
      : CPrefScalar<T>(groups, std::move(key), owner, std::move(factoryDefault)),
        m_handOn(handOn) {}

 protected:
  void Changed(const T& value) override { m_handOn(value); }

 private:
  CHandOn m_handOn;
};

// How an element of an array preference is laid out in bytes; this one, for plain values, is
// the element's own bytes. Other elements specialise it.
template <class T>
struct CPrefElementCodec {
  static_assert(std::is_trivially_copyable_v<T>);
  static constexpr const char* kName = kPrefTypeName<T>;

  static void Append(std::vector<std::byte>& bytes, const T& element) {
    const auto* first = reinterpret_cast<const std::byte*>(&element);
    bytes.insert(bytes.end(), first, first + sizeof(T));
  }
  // Takes one element off the front of `bytes`; false when too few are left.
  static bool Take(std::span<const std::byte>& bytes, T& element) {
    if (bytes.size() < sizeof(T)) return false;
    std::memcpy(&element, bytes.data(), sizeof(T));
    bytes = bytes.subspan(sizeof(T));
    return true;
  }
};

// Kinds with a text form, both ways.
template <class T>
concept CPrefTextual = requires(T element) {
  PrefText(element);
  PrefFromText(std::string_view(), element);
};

// A sequence: stored as a 32-bit element count followed by the elements. Stored bytes that do
// not make exactly that many elements are the wrong size.
template <class T>
class CPrefArray : public CPrefValue {
 public:
  using CElements = std::vector<T>;
  using CCodec = CPrefElementCodec<T>;

  CPrefArray(uint16_t groups, std::string key, CVHPreferences* owner, CElements factoryDefault)
      : CPrefValue(groups, std::move(key), owner),
        m_elements(factoryDefault),
        m_default(std::move(factoryDefault)) {}

  virtual CElements Get() const {
    CMutexLock lock(*this);
    return m_elements;
  }
  virtual void Set(CElements elements) {
    CMutexLock lock(*this);
    m_elements = std::move(elements);
  }
  const CElements& Default() const { return m_default; }

  static std::vector<std::byte> Encode(const CElements& elements) {
    std::vector<std::byte> bytes;
    CPrefElementCodec<uint32_t>::Append(bytes, static_cast<uint32_t>(elements.size()));
    for (const T& element : elements) CCodec::Append(bytes, element);
    return bytes;
  }
  static std::optional<CElements> Decode(std::span<const std::byte> bytes) {
    uint32_t count = 0;
    if (!CPrefElementCodec<uint32_t>::Take(bytes, count)) return std::nullopt;
    CElements elements;
    for (uint32_t i = 0; i < count; ++i)
      if (!CCodec::Take(bytes, elements.emplace_back())) return std::nullopt;
    if (!bytes.empty()) return std::nullopt;
    return elements;
  }

  CPrefStatus ReadFrom(const CPrefStorage& storage, std::string_view key) override {
    std::vector<std::byte> bytes;
    const CPrefStatus status = storage.ReadBytes(key, bytes);
    if (status != kPrefRead) return status;
    std::optional<CElements> elements = Decode(bytes);
    if (!elements) return kPrefWrongSize;
    Set(std::move(*elements));
    return kPrefRead;
  }
  size_t Count() const override { return Get().size(); }
  std::string TypeName() const override { return std::string(CCodec::kName) + " list"; }
  // Elements with a text form are listed, separated by commas; others are counted.
  std::string Text() const override {
    const CElements elements = Get();
    if constexpr (CPrefTextual<T>) {
      std::string text;
      for (const T& element : elements) text += (text.empty() ? "" : ",") + PrefText(element);
      return text;
    } else {
      return std::to_string(elements.size()) + " entries";
    }
  }
  bool SetFromText(std::string_view text) override {
    if constexpr (CPrefTextual<T>) {
      CElements elements;
      for (size_t start = 0; !text.empty();) {
        const size_t comma = text.find(',', start);
        if (!PrefFromText(text.substr(start, comma - start), elements.emplace_back())) return false;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
      }
      Set(std::move(elements));
      return true;
    } else {
      return false;
    }
  }
  void RestoreDefault() override { Set(m_default); }

 protected:
  CStoredForm StoredForm() const override { return {Encode(Get()), false}; }

 private:
  CElements m_elements;
  const CElements m_default;
};
