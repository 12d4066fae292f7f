// The rules of the boot category without a screen: the Exec value that starts the program,
// reading an entry back, when Save touches the entry, and what a failure says.

#include "editors/boot_settings.h"

#include "platform/autostart_entry.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace orv::editors;

TEST(AutostartExec, QuotesThePathAndEscapesWhatTheQuotesDoNotProtect) {
  struct Case {
    const char* path;
    const char* exec;
  };
  const Case cases[] = {
      {"/opt/orvendale/orvendale", R"("/opt/orvendale/orvendale")"},
      {"/home/amy/My Programs/orvendale", R"("/home/amy/My Programs/orvendale")"},
      // The quoting's own escapes get the value's "\\" on top.
      {R"(/opt/a"b/orvendale)", R"("/opt/a\\"b/orvendale")"},
      {"/opt/$HOME/`x`/orvendale", R"("/opt/\\$HOME/\\`x\\`/orvendale")"},
      {R"(/opt/back\slash/orvendale)", R"("/opt/back\\\\slash/orvendale")"},
      {"/opt/100%/orvendale", R"("/opt/100%%/orvendale")"},
      {"/opt/two\nlines/orvendale", R"("/opt/two\nlines/orvendale")"},
  };
  for (const Case& c : cases) {
    const QString path = QString::fromUtf8(c.path);
    SCOPED_TRACE(c.path);
    EXPECT_EQ(fnctAutostartExecValue(path), QString::fromUtf8(c.exec));
    EXPECT_EQ(fnctExecArguments(fnctAutostartExecValue(path)), std::optional<QStringList>(QStringList{path}));
    EXPECT_TRUE(isAutostartEntryStarting(fnctAutostartEntryText(path), path));
  }
}

TEST(AutostartExec, TheEntryIsAnApplicationNamedAfterTheProgram) {
  const QString text = QString::fromUtf8(fnctAutostartEntryText(QStringLiteral("/opt/orv/orvendale")));
  EXPECT_EQ(text, QStringLiteral("[Desktop Entry]\nType=Application\nName=Orvendale\n"
                                 "Exec=\"/opt/orv/orvendale\"\nTerminal=false\n"));
}

TEST(AutostartExec, AnEntryStartsTheProgramOnlyWhenItNamesItAloneAndIsSwitchedOn) {
  const QString program = QStringLiteral("/opt/orv/orvendale");
  struct Case {
    const char* entry;
    bool starts;
  };
  const Case cases[] = {
      {"[Desktop Entry]\nExec=\"/opt/orv/orvendale\"\n", true},
      {"[Desktop Entry]\nExec=/opt/orv/orvendale\n", true},
      {"# made by hand\n[Desktop Entry]\n  Exec = \"/opt/orv/orvendale\"  \n", true},
      {"[Desktop Entry]\r\nExec=\"/opt/orv/orvendale\"\r\n", true},
      {"[Desktop Entry]\nExec=\"/opt/orv/orvendale\"\nHidden=false\n", true},
      // Another copy, another letter case, arguments, a path in a second pair of quotes.
      {"[Desktop Entry]\nExec=\"/opt/other/orvendale\"\n", false},
      {"[Desktop Entry]\nExec=\"/opt/Orv/orvendale\"\n", false},
      {"[Desktop Entry]\nExec=\"/opt/orv/orvendale\" /debug\n", false},
      {"[Desktop Entry]\nExec=\"\\\\\"/opt/orv/orvendale\\\\\"\"\n", false},
      {"[Desktop Entry]\nExec=\"/opt/orv/orvendale\n", false},
      // Switched off by the desktop, or no Exec in the main group.
      {"[Desktop Entry]\nExec=\"/opt/orv/orvendale\"\nHidden=true\n", false},
      {"[Desktop Entry]\nExec=\"/opt/orv/orvendale\"\nX-GNOME-Autostart-enabled=false\n", false},
      {"[Desktop Entry]\nName=Orvendale\n[Desktop Action x]\nExec=\"/opt/orv/orvendale\"\n", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    EXPECT_EQ(isAutostartEntryStarting(QByteArray(c.entry), program), c.starts);
  }
}

TEST(AutostartChangeRule, OnlyABoxThatChangedWritesOrRemovesTheEntry) {
  EXPECT_EQ(fnctAutostartChange(false, false), AutostartChange::None);
  EXPECT_EQ(fnctAutostartChange(true, true), AutostartChange::None);
  EXPECT_EQ(fnctAutostartChange(false, true), AutostartChange::Write);
  EXPECT_EQ(fnctAutostartChange(true, false), AutostartChange::Remove);
}

class AutostartApply : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home_.path().toLocal8Bit());
  }
  void TearDown() override { qputenv("XDG_CONFIG_HOME", saved_); }

  TempFolder home_;
  QByteArray saved_;
};

TEST_F(AutostartApply, WriteRemoveAndNothingDoWhatTheySay) {
  const QString program = QStringLiteral("/opt/orv/orvendale");
  EXPECT_TRUE(fnctApplyAutostartChange(AutostartChange::None, program).ok);
  EXPECT_FALSE(orv::platform::readAutostartEntry().has_value());
  ASSERT_TRUE(fnctApplyAutostartChange(AutostartChange::Write, program).ok);
  EXPECT_TRUE(isAutostartEntryStarting(*orv::platform::readAutostartEntry(), program));
  EXPECT_TRUE(fnctApplyAutostartChange(AutostartChange::None, program).ok);
  EXPECT_TRUE(orv::platform::readAutostartEntry().has_value());
  ASSERT_TRUE(fnctApplyAutostartChange(AutostartChange::Remove, program).ok);
  EXPECT_FALSE(orv::platform::readAutostartEntry().has_value());
}

TEST_F(AutostartApply, AFailureSaysWhatFailedAndWhere) {
  home_.write(QStringLiteral("autostart"), "a file");
  const orv::platform::WriteResult result = fnctApplyAutostartChange(AutostartChange::Write, QStringLiteral("/x"));
  ASSERT_FALSE(result.ok);
  const QString text = fnctAutostartFailureText(AutostartChange::Write, result);
  EXPECT_TRUE(text.startsWith(QStringLiteral("The start with the session could not be set up: ")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(home_.file(QStringLiteral("autostart/orvendale.desktop")))) << text.toStdString();
  EXPECT_TRUE(fnctAutostartFailureText(AutostartChange::Remove, {false, QStringLiteral("no")})
                  .startsWith(QStringLiteral("The start with the session could not be switched off: no.")));
}

TEST(BootFieldsRule, TheTwoSettingsGoBothWays) {
  orv::core::tConfOther other;
  other.START_IN_TRAY = true;
  const BootFields fields = fnctBootFields(other);
  EXPECT_TRUE(fields.startInTray);
  EXPECT_FALSE(fields.startServerOnLoad);
  subStoreBoot({false, true}, other);
  EXPECT_FALSE(other.START_IN_TRAY);
  EXPECT_TRUE(other.START_SERVER_ON_LOAD);
}

}  // namespace
