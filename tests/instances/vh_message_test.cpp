#include "instances/vh_message.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

// A window that records what reaches it and answers with a fixed value.
class CRecordingReceiver : public CVHMsgReceiver {
 public:
  explicit CRecordingReceiver(CVHMsgAnswer answer = 0) : m_answer(answer) {}
  CVHMsgAnswer OnNamedMessage(uint32_t number, CVHMsgArgument first,
                              CVHMsgArgument second) override {
    received.push_back({number, first, second});
    return m_answer;
  }
  struct CReceived {
    uint32_t number;
    CVHMsgArgument first;
    CVHMsgArgument second;
    bool operator==(const CReceived&) const = default;
  };
  std::vector<CReceived> received;

 private:
  CVHMsgAnswer m_answer;
};

const CNamedMessage& DatasetRead() {
  return NamedMessage(VHMsgName::DatasetRead);
}

TEST(NamedMessageDelivery, ATargetWithoutWindowReachesTheMainWindow) {
  CRecordingReceiver mainWindow(7), other(9);
  CVHMsgDispatcher::Instance().SetMainWindow(&mainWindow);
  EXPECT_EQ(CVHMsgTarget(DatasetRead(), nullptr, 1, 2).Send(), 7);
  EXPECT_EQ(CVHMsgTarget(DatasetRead(), &other).Send(), 9);
  ASSERT_EQ(mainWindow.received.size(), 1u);
  EXPECT_EQ(mainWindow.received[0], (CRecordingReceiver::CReceived{DatasetRead().sync, 1, 2}));
  EXPECT_EQ(other.received.size(), 1u);
}

TEST(NamedMessageDelivery, PostedMessagesWaitForTheEventLoopAndCarryTheAsyncNumber) {
  CRecordingReceiver mainWindow;
  CVHMsgDispatcher::Instance().SetMainWindow(&mainWindow);
  CVHMsgTarget(DatasetRead(), nullptr, 1).Post();
  CVHMsgTarget(NamedMessage(VHMsgName::Idle), nullptr, 2).Post();
  EXPECT_TRUE(mainWindow.received.empty());
  EXPECT_EQ(CVHMsgDispatcher::Instance().DeliverQueued(), 2u);
  ASSERT_EQ(mainWindow.received.size(), 2u);
  EXPECT_EQ(mainWindow.received[0].number, DatasetRead().async);
  EXPECT_EQ(mainWindow.received[1].number, NamedMessage(VHMsgName::Idle).async);
  EXPECT_EQ(CVHMsgDispatcher::Instance().DeliverQueued(), 0u);
}

TEST(NamedMessageDelivery, AGroupMessageReachesEveryMemberAndOnlyThem) {
  CRecordingReceiver silent(0), answering(5), palette(6);
  auto& dispatcher = CVHMsgDispatcher::Instance();
  dispatcher.Join(CVHMsgGroup::kGeneral, &silent);
  dispatcher.Join(CVHMsgGroup::kGeneral, &answering);
  dispatcher.Join(CVHMsgGroup::kGeneral, &answering);  // joining twice changes nothing
  dispatcher.Join(CVHMsgGroup::kPalettes, &palette);
  EXPECT_EQ(CVHMsgGeneral(DatasetRead(), 42).Send(), 5);
  EXPECT_EQ(silent.received.size(), 1u);
  EXPECT_EQ(answering.received.size(), 1u);
  EXPECT_TRUE(palette.received.empty());
  EXPECT_EQ(CVHMsgToPalettes(NamedMessage(VHMsgName::PaletteSync)).Send(), 6);
  EXPECT_EQ(CVHMsgChild(NamedMessage(VHMsgName::ResetPane)).Send(), 0);  // nobody there
}

TEST(NamedMessageDelivery, AThreadMessageGoesToThatThreadsQueue) {
  CRecordingReceiver thisThread, otherThread;
  auto& dispatcher = CVHMsgDispatcher::Instance();
  std::thread::id otherId;
  std::thread([&] { otherId = std::this_thread::get_id(); }).join();
  dispatcher.SetThreadReceiver(std::this_thread::get_id(), &thisThread);
  dispatcher.SetThreadReceiver(otherId, &otherThread);
  CVHMsgThread(NamedMessage(VHMsgName::StatusSetProgress), otherId).Post();
  dispatcher.DeliverQueued();
  EXPECT_TRUE(thisThread.received.empty());
  EXPECT_EQ(otherThread.received.size(), 1u);
}

TEST(NamedMessageDelivery, AReceiverThatIsGoneLosesWhatWasQueuedForIt) {
  auto& dispatcher = CVHMsgDispatcher::Instance();
  CRecordingReceiver staying;
  {
    CRecordingReceiver leaving;
    dispatcher.SetMainWindow(&leaving);
    dispatcher.Join(CVHMsgGroup::kChildren, &leaving);
    dispatcher.Join(CVHMsgGroup::kChildren, &staying);
    CVHMsgChild(DatasetRead()).Post();
  }
  EXPECT_EQ(dispatcher.MainWindow(), nullptr);
  EXPECT_EQ(dispatcher.DeliverQueued(), 1u);
  EXPECT_EQ(staying.received.size(), 1u);
  EXPECT_EQ(CVHMsgTarget(DatasetRead()).Send(), 0);  // no main window any more
}

// A receiver that destroys another while handling a posted message: the other's message,
// still queued, must not reach it.
TEST(NamedMessageDelivery, DeliveryStopsShortOfAReceiverDestroyedOnTheWay) {
  auto& dispatcher = CVHMsgDispatcher::Instance();
  auto victim = std::make_unique<CRecordingReceiver>();
  struct CDestroyer : CRecordingReceiver {
    std::unique_ptr<CRecordingReceiver>* victim = nullptr;
    CVHMsgAnswer OnNamedMessage(uint32_t number, CVHMsgArgument first,
                                CVHMsgArgument second) override {
      victim->reset();
      return CRecordingReceiver::OnNamedMessage(number, first, second);
    }
  } destroyer;
  destroyer.victim = &victim;
  CVHMsgTarget(DatasetRead(), &destroyer).Post();
  CVHMsgTarget(DatasetRead(), victim.get()).Post();
  EXPECT_EQ(dispatcher.DeliverQueued(), 1u);
  EXPECT_EQ(destroyer.received.size(), 1u);
}

// A name whose registration failed has no numbers.
TEST(NamedMessageDelivery, AnUnregisteredMessageReachesNobody) {
  const CNamedMessage unregistered{"NeverRegistered", 0, 0};
  CRecordingReceiver window(1);
  const CVHMsgTarget message(unregistered, &window);
  EXPECT_FALSE(message.IsRegistered());
  EXPECT_EQ(message.Send(), 0);
  message.Post();
  EXPECT_EQ(CVHMsgDispatcher::Instance().DeliverQueued(), 0u);
  EXPECT_TRUE(window.received.empty());
  EXPECT_TRUE(CVHMsgTarget(DatasetRead(), &window).IsRegistered());
}

}  // namespace
