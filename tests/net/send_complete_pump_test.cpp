#include "net/send_complete_pump.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "platform/message_window.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <stdexcept>
#include <utility>
#include <vector>

namespace {

namespace pump = orv::net::modSubClsCustWinMsg;

// The steps the pump asks for, as (index, lParam).
using Steps = std::vector<std::pair<int, qintptr>>;

class SendCompletePumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = orv::core::gConfiguration.AppState.blnDebugFormLoaded;
    orv::core::gConfiguration.AppState.blnDebugFormLoaded = true;
    orv::core::debugEventLog().clear();
    pump::HookCustWinMsg();
    pump::setNextBlockHandler([this](int index, qintptr lParam) { steps.emplace_back(index, lParam); });
  }
  void TearDown() override {
    pump::setNextBlockHandler({});
    pump::UnhookCustWinMsg();
    orv::core::gConfiguration.AppState.blnDebugFormLoaded = saved_;
    orv::core::debugEventLog().clear();
  }

  Steps steps;

 private:
  bool saved_ = false;
};

TEST_F(SendCompletePumpTest, HookCreatesTheWindowAndItsMessageAndUnhookRemovesThem) {
  const int window = pump::getCustWinMsgWindow();
  ASSERT_NE(window, 0);
  EXPECT_EQ(pump::getSendCompleteMessage(),
            orv::platform::registerWindowMessage(QStringLiteral("wm_socket_send_complete")));
  const orv::platform::MessageWindow* found = orv::platform::findMessageWindow(window);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->className(), QStringLiteral("STATIC"));
  EXPECT_EQ(found->windowName(), QStringLiteral("CUST_WIN_MSG_WINDOW"));
  pump::HookCustWinMsg();
  EXPECT_EQ(pump::getCustWinMsgWindow(), window) << "a second hook changes nothing";

  pump::UnhookCustWinMsg();
  EXPECT_EQ(pump::getCustWinMsgWindow(), 0);
  EXPECT_EQ(orv::platform::findMessageWindow(window), nullptr);
  EXPECT_FALSE(pump::SendCompleteMessage(3));
  const auto& log = orv::core::debugEventLog();
  ASSERT_GE(log.count(), 2);
  EXPECT_TRUE(
      log.line(1).text.endsWith(QStringLiteral("] OK Created custom messages window ") + QString::number(window)));
  EXPECT_TRUE(
      log.line(0).text.endsWith(QStringLiteral("] OK Destroyed custom messages window ") + QString::number(window)));
  pump::HookCustWinMsg();  // for the tear-down
}

TEST_F(SendCompletePumpTest, TheMessageForASlotAsksForExactlyOneBlockBeforeTheSendReturns) {
  EXPECT_TRUE(pump::SendCompleteMessage(3, 77));
  EXPECT_EQ(steps, (Steps{{3, 77}}));
}

TEST_F(SendCompletePumpTest, OtherMessagesAndIndexZeroOnlyReachThePreviousProcedure) {
  const int window = pump::getCustWinMsgWindow();
  EXPECT_EQ(orv::platform::sendMessage(window, pump::getSendCompleteMessage() + 1, 3, 0), 0);
  EXPECT_EQ(orv::platform::sendMessage(window, pump::getSendCompleteMessage(), 0, 0), 0);
  EXPECT_FALSE(pump::SendCompleteMessage(0));
  EXPECT_TRUE(steps.empty());
}

// A block that completes at once asks for the next one from inside the pump step: that step
// is posted to the loop, so the stack never holds more than one pump step.
TEST_F(SendCompletePumpTest, ReentryIsPostedToTheLoop) {
  int depth = 0;
  int deepest = 0;
  int remaining = 1000;
  pump::setNextBlockHandler([&](int index, qintptr) {
    ++depth;
    deepest = std::max(deepest, depth);
    steps.emplace_back(index, 0);
    if (--remaining > 0) {
      pump::SendCompleteMessage(index);
    }
    --depth;
  });
  pump::SendCompleteMessage(4);
  EXPECT_EQ(steps.size(), 1u) << "the next step waits for the loop";
  ASSERT_TRUE(processEventsUntil([&] { return remaining == 0; }));
  EXPECT_EQ(steps.size(), 1000u);
  EXPECT_EQ(deepest, 1);
}

TEST_F(SendCompletePumpTest, AFailureOfTheReaderIsIgnored) {
  pump::setNextBlockHandler([](int, qintptr) { throw std::runtime_error("reader gone"); });
  EXPECT_TRUE(pump::SendCompleteMessage(5));
}

}  // namespace
