#include "desktop/frm_main.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/message_box.h"
#include "desktop/startup.h"
#include "server/server_engine.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/tcp_peer.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <QDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::desktop::frmMain;
using orv::desktop::MessageAnswer;
using orv::desktop::MessageBoxRequest;
using orv::desktop::MessageIcon;

// The main window's server with the English texts; every message box is recorded.
class MainWindowServer : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    gConfiguration.Protocol.LOCAL_PORT = u"0"_s;
    orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
    orv::desktop::setMessageBoxAnswerer([this](const MessageBoxRequest& request) {
      boxes.push_back(request);
      return MessageAnswer::Ok;
    });
    window = std::make_unique<frmMain>(folder.path(), QString());
  }

  void TearDown() override {
    window.reset();
    orv::desktop::setMessageBoxAnswerer({});
    gConfiguration = {};
    orv::core::gLanguage = {};
  }

  TempFolder folder;
  std::unique_ptr<frmMain> window;
  std::vector<MessageBoxRequest> boxes;
};

// Another program's listening socket on a free port.
int holdPort(int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::listen(fd, 1);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

TEST_F(MainWindowServer, APortInUseIsShownOnlyWhenAsked) {
  int holder = -1;
  gConfiguration.Protocol.LOCAL_PORT = QString::number(holdPort(holder));
  window->StartStopServer(false);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(window->server().isServerRunning());

  window->StartStopServer(true);
  ::close(holder);
  ASSERT_EQ(boxes.size(), 1U);
  EXPECT_EQ(boxes[0].text, orv::core::gLanguage.text(u"MSGBOX/ERRORS/PORT_ALREADY_OPEN"));
  EXPECT_FALSE(boxes[0].text.isEmpty());
  EXPECT_EQ(boxes[0].title, orv::core::applicationTitle());
  EXPECT_EQ(boxes[0].icon, MessageIcon::Critical);
  EXPECT_FALSE(window->server().isServerRunning());
  EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
}

TEST_F(MainWindowServer, ToggleStartsAndStopsAndShutDownClosesEveryConnection) {
  window->StartStopServer(true);
  ASSERT_TRUE(window->server().isServerRunning());
  EXPECT_TRUE(gConfiguration.AppState.blnServerStarted);
  window->StartStopServer(true);
  EXPECT_FALSE(window->server().isServerRunning());
  window->StartStopServer(false);
  ASSERT_TRUE(window->server().isServerRunning());
  EXPECT_TRUE(boxes.empty());

  TcpPeer first(window->server().listeningPort(), 0, "127.0.0.2");
  TcpPeer second(window->server().listeningPort(), 0, "127.0.0.3");
  ASSERT_TRUE(processEventsUntil([&] { return window->server().slots().count() == 2; }));

  orv::desktop::subShutDown(*window);
  EXPECT_FALSE(window->server().isServerRunning());
  EXPECT_EQ(window->server().slots().count(), 0);
  EXPECT_TRUE(processEventsUntil([&] { return first.endOfStream && second.endOfStream; }));
  EXPECT_TRUE(QDir(folder.path()).isEmpty()) << "nothing was modified, nothing written";
}

}  // namespace
