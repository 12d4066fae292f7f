#include "server/account_check.h"

#include "core/configuration.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::gConfiguration;
using orv::server::getUserFromLogin;

class AccountCheckTest : public testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    add("id1", "alice", "secret");
    add("id2", "bob", "Pa55word");
    add("id3", "guest", "");
  }
  void TearDown() override { gConfiguration = {}; }

  static void add(const char* id, const char* login, const char* password) {
    gConfiguration.Users.add(
        {QString::fromLatin1(id), QString::fromLatin1(login), QString::fromLatin1(password), {}, {}});
  }
};

TEST_F(AccountCheckTest, LoginPasswordAndShareUsersMustAllAgree) {
  struct Case {
    const char* login;
    const char* password;
    const char* shareUsers;
    const char* id;
  };
  const Case cases[] = {
      {"Bob", "pA55WORD", "alice:bob", "id2"},
      {"bob", "Pa55word", "alice", "-1"},
      {"bob", "wrong", "alice:bob", "-1"},
      {"bob", "Pa55word ", "alice:bob", "-1"},
      {"ALICE", "SECRET", "BOB:Alice", "id1"},
      {"alice", "secret", "bob::alice", "id1"},
      {"alice", "secret", "", "-1"},
      {"dave", "x", "dave", "-1"},
      {"alice:bob", "secret", "alice:bob", "-1"},
      {"", "", "alice:bob", "-1"},
      {"", "", ":", "-1"},
      // An account without password is entered with an empty one only.
      {"guest", "", "guest", "id3"},
      {"guest", "x", "guest", "-1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getUserFromLogin(QString::fromLatin1(c.login), QString::fromLatin1(c.password),
                               QString::fromLatin1(c.shareUsers)),
              QString::fromLatin1(c.id))
        << c.login << " / " << c.password << " on " << c.shareUsers;
  }
}

}  // namespace
