// Preference values on their own: stored forms, statuses of bad stored data, text forms, the
// group checksum, and the locks of values and of the storage.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "app/crc32.h"
#include "app/memory_pref_storage.h"
#include "app/pref_value.h"

namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
  std::vector<std::byte> bytes;
  for (int v : values) bytes.push_back(static_cast<std::byte>(v));
  return bytes;
}

template <class T>
std::vector<std::byte> BytesOf(const T& value) {
  std::vector<std::byte> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

TEST(PrefStorage, MemoryStoreStatuses) {
  CMemoryPrefStorage storage;
  std::vector<std::byte> bytes;
  std::string text;
  EXPECT_EQ(storage.ReadBytes("Absent", bytes), kPrefMissing);
  EXPECT_EQ(storage.ReadText("Absent", text), kPrefMissing);

  storage.WriteBytes("Bytes", Bytes({1, 2, 3}));
  storage.WriteText("Text", "abc");
  EXPECT_EQ(storage.ReadBytes("Bytes", bytes), kPrefRead);
  EXPECT_EQ(bytes, Bytes({1, 2, 3}));
  EXPECT_EQ(storage.ReadText("Text", text), kPrefRead);
  EXPECT_EQ(text, "abc");

  // The other kind: text where bytes are wanted is there but unusable; bytes where text is
  // wanted count as missing, as does an empty text.
  EXPECT_EQ(storage.ReadBytes("Text", bytes), kPrefWrongSize);
  EXPECT_EQ(storage.ReadText("Bytes", text), kPrefMissing);
  storage.WriteText("Empty", "");
  EXPECT_EQ(storage.ReadText("Empty", text), kPrefMissing);
  storage.WriteText("Cut", std::string("ab\0cd", 5));
  EXPECT_EQ(storage.ReadText("Cut", text), kPrefLengthMismatch);
  EXPECT_EQ(text, "abc") << "a failed read leaves the text alone";
  EXPECT_EQ(storage.WriteCount(), 4u);
}

TEST(PrefScalar, StoresTheBytesOfItsValueAndReadsThemBack) {
  CMemoryPrefStorage storage;
  CPrefScalar<double> lambda(8, "Lambda", nullptr, 1.5405);
  lambda.Set(0.70930);
  lambda.Write(storage);
  const auto* stored = std::get_if<std::vector<std::byte>>(storage.Find("Lambda"));
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(*stored, BytesOf(0.70930));
  EXPECT_EQ(lambda.Size(), 8u);
  EXPECT_EQ(lambda.Count(), 1u);

  CPrefScalar<double> reread(8, "Lambda", nullptr, 1.5405);
  EXPECT_EQ(reread.Read(storage), kPrefRead);
  EXPECT_EQ(reread.Get(), 0.70930);
}

TEST(PrefScalar, WrongSizesAndKindsLeaveTheValueAlone) {
  CMemoryPrefStorage storage;
  storage.WriteBytes("Lambda", BytesOf(1.25f));
  storage.WriteBytes("Flag", Bytes({1, 0}));
  storage.WriteText("Count", "7");
  CPrefScalar<double> lambda(8, "Lambda", nullptr, 1.5405);
  CPrefScalar<bool> flag(8, "Flag", nullptr, false);
  CPrefScalar<uint32_t> count(8, "Count", nullptr, 3);
  CPrefScalar<std::string> name(8, "Name", nullptr, "default");
  EXPECT_EQ(lambda.Read(storage), kPrefWrongSize);
  EXPECT_EQ(lambda.Get(), 1.5405);
  EXPECT_EQ(flag.Read(storage), kPrefWrongSize);
  EXPECT_FALSE(flag.Get());
  EXPECT_EQ(count.Read(storage), kPrefWrongSize);
  EXPECT_EQ(count.Get(), 3u);
  EXPECT_EQ(name.Read(storage), kPrefMissing);
  EXPECT_EQ(name.Get(), "default");
}

TEST(PrefScalar, ReadsAnyNonZeroByteAsTrue) {
  CMemoryPrefStorage storage;
  storage.WriteBytes("Flag", Bytes({0x7F}));
  CPrefScalar<bool> flag(8, "Flag", nullptr, false);
  EXPECT_EQ(flag.Read(storage), kPrefRead);
  EXPECT_TRUE(flag.Get());
}

TEST(PrefScalar, TextsAndPathsAreStoredAsText) {
  CMemoryPrefStorage storage;
  CPrefScalar<std::string> font(8, "FontName", nullptr, "MS Shell Dlg 2");
  CPrefScalar<std::filesystem::path> helper(16, "Helper", nullptr, {});
  helper.Set("/opt/visualiser/bin/visualise");
  font.Write(storage);
  helper.Write(storage);
  EXPECT_EQ(std::get<std::string>(*storage.Find("FontName")), "MS Shell Dlg 2");
  EXPECT_EQ(std::get<std::string>(*storage.Find("Helper")), "/opt/visualiser/bin/visualise");
  CPrefScalar<std::filesystem::path> reread(16, "Helper", nullptr, {});
  EXPECT_EQ(reread.Read(storage), kPrefRead);
  EXPECT_EQ(reread.Get(), std::filesystem::path("/opt/visualiser/bin/visualise"));
}

TEST(PrefScalar, ReadsUnderAFormerKey) {
  CMemoryPrefStorage storage;
  storage.WriteBytes("OldName", Bytes({1}));
  CPrefScalar<bool> value(64, "NewName", nullptr, false);
  EXPECT_EQ(value.Read(storage), kPrefMissing);
  EXPECT_EQ(value.ReadFrom(storage, "OldName"), kPrefRead);
  EXPECT_TRUE(value.Get());
}

TEST(PrefScalar, RestoresItsFactoryDefault) {
  CPrefScalar<CPrefRect> rect(64, "Rect", nullptr, {1, 2, 3, 4});
  rect.Set({10, 20, 30, 40});
  rect.RestoreDefault();
  EXPECT_EQ(rect.Get(), (CPrefRect{1, 2, 3, 4}));
}

// What a forwarded value hands on, for the test below.
std::vector<int32_t>& HandedOn() {
  static std::vector<int32_t> values;
  return values;
}

TEST(PrefForwarded, HandsOnEveryValueItTakesButNotItsFirst) {
  HandedOn().clear();
  CMemoryPrefStorage storage;
  storage.WriteBytes("Count", BytesOf(int32_t{5}));
  CPrefForwarded<int32_t> count(8, "Count", nullptr, 1, [](int32_t v) { HandedOn().push_back(v); });
  EXPECT_TRUE(HandedOn().empty()) << "constructing leaves the process alone";
  count.Set(2);
  EXPECT_EQ(count.Read(storage), kPrefRead);
  EXPECT_TRUE(count.SetFromText("3"));
  EXPECT_FALSE(count.SetFromText("three"));
  count.RestoreDefault();
  storage.WriteBytes("Count", Bytes({1}));
  EXPECT_EQ(count.Read(storage), kPrefWrongSize);
  EXPECT_EQ(HandedOn(), (std::vector<int32_t>{2, 5, 3, 1}));
}

TEST(PrefArray, RoundTripsItsElements) {
  CMemoryPrefStorage storage;
  const std::vector<CPrefColour> colours = {{0xFF112233}, {0x00000000}, {0x80FFFFFF}};
  CPrefArray<CPrefColour> custom(32, "CustomColors", nullptr, {});
  custom.Set(colours);
  EXPECT_EQ(custom.Count(), 3u);
  EXPECT_EQ(custom.Size(), 4u + 3u * 4u);
  custom.Write(storage);
  CPrefArray<CPrefColour> reread(32, "CustomColors", nullptr, {});
  EXPECT_EQ(reread.Read(storage), kPrefRead);
  EXPECT_EQ(reread.Get(), colours);

  CPrefArray<std::byte> state(128, "State", nullptr, Bytes({9}));
  state.Set({});
  state.Write(storage);
  CPrefArray<std::byte> emptied(128, "State", nullptr, Bytes({9}));
  EXPECT_EQ(emptied.Read(storage), kPrefRead);
  EXPECT_TRUE(emptied.Get().empty());
}

TEST(PrefArray, ABadLengthIsTheWrongSize) {
  const std::vector<CPrefColour> colours = {{1}, {2}};
  const std::vector<std::byte> good = CPrefArray<CPrefColour>::Encode(colours);
  for (const size_t length : {size_t{0}, size_t{3}, good.size() - 1, good.size() + 1}) {
    SCOPED_TRACE(length);
    std::vector<std::byte> bytes = good;
    bytes.resize(length);
    CMemoryPrefStorage storage;
    storage.WriteBytes("Colours", bytes);
    CPrefArray<CPrefColour> value(32, "Colours", nullptr, {{7}});
    EXPECT_EQ(value.Read(storage), kPrefWrongSize);
    EXPECT_EQ(value.Get(), (std::vector<CPrefColour>{{7}}));
  }
  // A count far beyond the bytes that follow it.
  CMemoryPrefStorage storage;
  storage.WriteBytes("Colours", BytesOf(uint32_t{0xFFFFFFFF}));
  CPrefArray<CPrefColour> value(32, "Colours", nullptr, {});
  EXPECT_EQ(value.Read(storage), kPrefWrongSize);
}

TEST(PrefText, ScalarsPrintAndParseWithoutTheLocale) {
  EXPECT_EQ(PrefText(1.5405), "1.5405");
  EXPECT_EQ(PrefText(0.037014), "0.037014");
  EXPECT_EQ(PrefText(10000.0), "10000");
  EXPECT_EQ(PrefText(8.0f), "8");
  EXPECT_EQ(PrefText(true), "true");
  EXPECT_EQ(PrefText(int32_t{-120}), "-120");
  EXPECT_EQ(PrefText(CPrefColour{0xFF00CC0A}), "0xFF00CC0A");
  EXPECT_EQ(PrefText(CPrefRect{-1, 2, 300, 4}), "-1,2,300,4");
  EXPECT_EQ(PrefText(CPrefPoint{0.5f, -2.0f}), "0.5,-2");
  EXPECT_EQ(PrefText(CPrefVector{0, 0, 1}), "0,0,1");

  double number = 0.0;
  EXPECT_TRUE(PrefFromText(" 1.78897 ", number));
  EXPECT_EQ(number, 1.78897);
  EXPECT_FALSE(PrefFromText("1,5", number));
  EXPECT_FALSE(PrefFromText("inf", number));
  EXPECT_EQ(number, 1.78897);
  // Every double survives its text.
  for (const double value : {0.1, 1.0 / 3.0, 6.02214076e23, -2.5e-300}) {
    double back = 0.0;
    ASSERT_TRUE(PrefFromText(PrefText(value), back));
    EXPECT_EQ(back, value);
  }

  bool flag = false;
  EXPECT_TRUE(PrefFromText("TRUE", flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(PrefFromText("0", flag));
  EXPECT_FALSE(flag);
  EXPECT_FALSE(PrefFromText("yes", flag));

  uint32_t count = 0;
  EXPECT_FALSE(PrefFromText("-1", count));
  EXPECT_FALSE(PrefFromText("4294967296", count));
  EXPECT_FALSE(PrefFromText("12abc", count));
  EXPECT_TRUE(PrefFromText("4294967295", count));
  EXPECT_EQ(count, 4294967295u);

  float size = 0.0f;
  EXPECT_FALSE(PrefFromText("1e39", size));

  CPrefColour colour;
  EXPECT_TRUE(PrefFromText("#80ff0000", colour));
  EXPECT_EQ(colour.argb, 0x80FF0000u);
  EXPECT_TRUE(PrefFromText("0xff", colour));
  EXPECT_EQ(colour.argb, 0xFFu);
  EXPECT_FALSE(PrefFromText("0x1FF0000000", colour));
  EXPECT_FALSE(PrefFromText("red", colour));

  CPrefRect rect;
  EXPECT_TRUE(PrefFromText("10, 20, 640, 480", rect));
  EXPECT_EQ(rect, (CPrefRect{10, 20, 640, 480}));
  EXPECT_FALSE(PrefFromText("10,20,640", rect));
  EXPECT_FALSE(PrefFromText("10,20,640,480,1", rect));
  EXPECT_EQ(rect, (CPrefRect{10, 20, 640, 480}));

  CPrefVector vector;
  EXPECT_TRUE(PrefFromText("1,-1,0.5", vector));
  EXPECT_EQ(vector, (CPrefVector{1, -1, 0.5}));
  EXPECT_FALSE(PrefFromText("1,x,0.5", vector));

  std::byte byte{};
  EXPECT_TRUE(PrefFromText("255", byte));
  EXPECT_FALSE(PrefFromText("256", byte));
}

TEST(PrefText, ArraysListTheirElements) {
  CPrefArray<CPrefColour> colours(32, "Colours", nullptr, {});
  EXPECT_TRUE(colours.SetFromText("0xFF000000,#FFFFFFFF"));
  EXPECT_EQ(colours.Get(), (std::vector<CPrefColour>{{0xFF000000}, {0xFFFFFFFF}}));
  EXPECT_EQ(colours.Text(), "0xFF000000,0xFFFFFFFF");
  EXPECT_EQ(colours.TypeName(), "colour list");
  EXPECT_FALSE(colours.SetFromText("0xFF000000,"));
  EXPECT_EQ(colours.Count(), 2u);
  EXPECT_TRUE(colours.SetFromText(""));
  EXPECT_EQ(colours.Count(), 0u);
}

TEST(PrefChecksum, IsTheBzip2CrcOfTheStoredBytes) {
  // The CRC-32/BZIP2 check value.
  EXPECT_EQ(CCRC32::Of("123456789", 9), 0xFC891918u);
  CPrefScalar<uint32_t> first(8, "First", nullptr, 0x34333231);  // "1234" in memory
  CPrefScalar<std::string> second(8, "Second", nullptr, "56789");
  const uint32_t crc = ~second.UpdateChecksum(first.UpdateChecksum(CCRC32::kInitial));
  EXPECT_EQ(crc, 0xFC891918u);
}

TEST(PrefLocks, EachValueHasALockOfItsOwn) {
  CPrefScalar<double> a(8, "A", nullptr, 1.0);
  CPrefScalar<double> b(8, "B", nullptr, 2.0);
  std::future<void> settingA;
  {
    const CPrefValue::CMutexLock holding(a);
    // With A held, another thread sets and reads B.
    const double seen = std::async(std::launch::async, [&] {
                          b.Set(3.0);
                          return b.Get();
                        }).get();
    EXPECT_EQ(seen, 3.0);
    settingA = std::async(std::launch::async, [&] { a.Set(4.0); });
  }
  settingA.get();
  EXPECT_EQ(a.Get(), 4.0);
}

TEST(PrefLocks, ReadersNeverSeeHalfAValue) {
  CPrefScalar<CPrefVector> vector(8, "Vector", nullptr, {});
  CPrefScalar<CPrefRect> rect(8, "Rect", nullptr, {});
  std::atomic<bool> torn{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        const double v = t * 10000 + i;
        vector.Set({v, v, v});
        rect.Set({i, i, i, i});
        const CPrefVector seen = vector.Get();
        const CPrefRect r = rect.Get();
        // Checksums run while others write, as a save on one thread would.
        vector.UpdateChecksum(CCRC32::kInitial);
        if (seen.x != seen.y || seen.y != seen.z || r.left != r.bottom) torn = true;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(torn);
}

TEST(PrefLocks, TheStorageIsUsedByOneThreadAtATime) {
  CMemoryPrefStorage storage;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        CPrefScalar<int32_t> value(8, "Key" + std::to_string(t) + "-" + std::to_string(i), nullptr,
                                   i);
        value.Write(storage);
        value.Read(storage);
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(storage.Size(), 2000u);
  EXPECT_EQ(storage.WriteCount(), 2000u);
}

}  // namespace
