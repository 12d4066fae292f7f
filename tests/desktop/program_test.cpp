// Runs the built program in an application folder of its own, without a screen.

#include "support/free_port.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace {

using namespace Qt::StringLiterals;

constexpr int kTimeoutMs = 60000;

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = folder_.file(u"orvendale"_s);
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORV_PROGRAM), program_));
    ASSERT_TRUE(QFile::setPermissions(program_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }

  void addEnglish() const {
    folder_.makeFolder(u"lang"_s);
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"), folder_.file(u"lang/english.xml"_s)));
  }

  // Starts the program with the stop signals blocked, so that a SIGTERM sent at once waits
  // until the program has taken them over.
  void start(const QStringList& arguments = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process_.setProcessEnvironment(environment);
    process_.setChildProcessModifier([] {
      sigset_t blocked;
      sigemptyset(&blocked);
      sigaddset(&blocked, SIGTERM);
      sigprocmask(SIG_BLOCK, &blocked, nullptr);
    });
    process_.start(program_, arguments);
    ASSERT_TRUE(process_.waitForStarted(kTimeoutMs));
  }

  QStringList entries() const {
    return QDir(folder_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
  }

  TempFolder folder_;
  QString program_;
  QProcess process_;
};

TEST_F(Program, StopsCleanlyOnSigtermWritingNothingUnchanged) {
  struct Case {
    const char* name;
    QByteArray config;
    QStringList arguments;
  };
  const std::vector<Case> cases = {
      {"window shown, server started",
       "<PROTOCOL><LOCAL_PORT>" + QByteArray::number(freeTcpPort()) +
           "</LOCAL_PORT></PROTOCOL><OTHER><START_SERVER_ON_LOAD>true</START_SERVER_ON_LOAD></OTHER>",
       {}},
      {"in the tray", "<OTHER><START_IN_TRAY>true</START_IN_TRAY></OTHER>", {}},
      {"with the debug window", "", {u"/debug"_s}},
  };
  addEnglish();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray config =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\">" + c.config + "</CONFIGURATION>";
    folder_.write(u"config.xml"_s, config);
    const QStringList before = entries();
    start(c.arguments);
    process_.terminate();
    ASSERT_TRUE(process_.waitForFinished(kTimeoutMs));
    const QByteArray errors = process_.readAllStandardError();
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit) << errors.constData();
    EXPECT_EQ(process_.exitCode(), 0) << errors.constData();
    EXPECT_EQ(entries(), before);
    QFile written(folder_.file(u"config.xml"_s));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), config);
  }
}

TEST_F(Program, EachStartUpFailureEndsWithoutWaitingOnItsMessage) {
  QFile source(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  const QByteArray english = source.readAll();
  const QByteArray incomplete = QByteArray(english).replace("<SUBMIT>Log in</SUBMIT>", "");
  const QByteArray outOfDate =
      QByteArray(english).replace("<MAX_APP_VERSION_COMPATIBLILITY>1.02</MAX_APP_VERSION_COMPATIBLILITY>",
                                  "<MAX_APP_VERSION_COMPATIBLILITY>1.01</MAX_APP_VERSION_COMPATIBLILITY>");
  struct Case {
    QByteArray languageFile;  // lang/english.xml; none when empty
    const char* message;
  };
  const std::vector<Case> cases = {
      {{}, "No file language found"},
      {incomplete, "No language file found"},
      {outOfDate, "Language file version out of date"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    QDir(folder_.file(u"lang"_s)).removeRecursively();
    folder_.makeFolder(u"lang"_s);
    if (!c.languageFile.isEmpty()) {
      folder_.write(u"lang/english.xml"_s, c.languageFile);
    }
    const QStringList before = entries();
    start();
    ASSERT_TRUE(process_.waitForFinished(kTimeoutMs));
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 1);
    EXPECT_TRUE(process_.readAllStandardError().contains(c.message));
    EXPECT_EQ(entries(), before);  // nothing is saved
  }
}

TEST_F(Program, AStartOnLoadThatCannotListenSaysWhyOnStandardError) {
  // A listener of the test's own holds the port.
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(holder, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const QByteArray port = QByteArray::number(ntohs(address.sin_port));

  addEnglish();
  folder_.write(u"config.xml"_s,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\"><PROTOCOL><LOCAL_PORT>" +
                    port +
                    "</LOCAL_PORT></PROTOCOL><OTHER><START_SERVER_ON_LOAD>true</START_SERVER_ON_LOAD>"
                    "</OTHER></CONFIGURATION>");
  start();
  process_.setReadChannel(QProcess::StandardError);
  const QByteArray expected =
      "Orvendale: the server is not started: port " + port + " is already used by another program.";
  QByteArray errors;
  while (!errors.contains(expected) && process_.state() == QProcess::Running && process_.waitForReadyRead(kTimeoutMs)) {
    errors += process_.readAllStandardError();
  }
  EXPECT_TRUE(errors.contains(expected)) << errors.constData();
  // The program goes on without a listener, as it does with a screen, until it is stopped.
  EXPECT_EQ(process_.state(), QProcess::Running);
  process_.terminate();
  ASSERT_TRUE(process_.waitForFinished(kTimeoutMs));
  EXPECT_EQ(process_.exitCode(), 0);
  ::close(holder);
}

}  // namespace
