#include "app/cancellable.h"

#include <gtest/gtest.h>

namespace {

TEST(CancellableOperations, EscapeCancelsTheInnerOperationFirst) {
  CCancellableOperations operations;
  bool outer = true, inner = true;
  int notified = 0;
  const uint32_t outerId = operations.Begin(nullptr, &outer, false);
  const uint32_t innerId = operations.Begin([&] { ++notified; }, &inner, false);
  EXPECT_GT(innerId, outerId);
  EXPECT_FALSE(outer);  // cleared on registration
  EXPECT_FALSE(inner);
  EXPECT_TRUE(operations.IsWatchingKeyboard());
  EXPECT_FALSE(operations.IsWatchingMouse());

  EXPECT_TRUE(operations.HandleEscape());
  EXPECT_TRUE(inner);
  EXPECT_FALSE(outer);
  EXPECT_EQ(notified, 1);
  EXPECT_TRUE(operations.HandleEscape());
  EXPECT_TRUE(outer);
  EXPECT_FALSE(operations.IsWatchingKeyboard());
  EXPECT_FALSE(operations.HandleEscape());  // nothing left: the key passes on
  operations.End(innerId);
  operations.End(outerId);
}

TEST(CancellableOperations, OperationsWithoutTargetOrFlagAreNotListed) {
  CCancellableOperations operations;
  const uint32_t id = operations.Begin(nullptr, nullptr, false);
  EXPECT_FALSE(operations.IsWatchingKeyboard());
  EXPECT_FALSE(operations.HandleEscape());
  operations.End(id);
}

TEST(CancellableOperations, TheDefaultTargetHearsOfOperationsWithoutTheirOwn) {
  CCancellableOperations operations;
  int mainWindow = 0;
  operations.SetDefaultNotify([&] { ++mainWindow; });
  bool flag = false;
  operations.Begin(nullptr, &flag, false);
  EXPECT_TRUE(operations.HandleEscape());
  EXPECT_EQ(mainWindow, 1);
  EXPECT_TRUE(flag);
}

TEST(CancellableOperations, ABlockingOperationTakesTheMouse) {
  CCancellableOperations operations;
  bool plain = false, blocking = false;
  const uint32_t plainId = operations.Begin(nullptr, &plain, false);
  EXPECT_FALSE(operations.HandleMouseButton());  // clicks pass on
  EXPECT_FALSE(operations.SwallowsWheel());
  const uint32_t blockingId = operations.Begin(nullptr, &blocking, true);
  EXPECT_TRUE(operations.IsWatchingMouse());
  EXPECT_TRUE(operations.SwallowsWheel());
  EXPECT_TRUE(operations.HandleMouseButton());
  EXPECT_TRUE(blocking);
  EXPECT_FALSE(plain);
  operations.End(blockingId);  // already ended by the click
  operations.End(plainId);
  EXPECT_FALSE(operations.IsWatchingMouse());
  EXPECT_FALSE(operations.IsWatchingKeyboard());
}

TEST(CancellableOperations, EndingTheLastOperationStopsWatching) {
  CCancellableOperations operations;
  bool flag = false;
  const uint32_t id = operations.Begin(nullptr, &flag, true);
  EXPECT_TRUE(operations.IsWatchingKeyboard());
  operations.End(id);
  EXPECT_FALSE(operations.IsWatchingKeyboard());
  EXPECT_FALSE(operations.IsWatchingMouse());
  EXPECT_FALSE(flag);
}

}  // namespace
