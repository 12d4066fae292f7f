#include "core/config_file.h"

#include "core/debug_log.h"
#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

namespace {

using orv::core::fnctLoadConfiguration;
using orv::core::gAppFolder;
using orv::core::gConfiguration;
using orv::core::ShareEntry;
using orv::core::subSaveConfiguration;
using orv::core::tConfiguration;

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An application folder with an English language file, the default page stylesheet and two
// share folders; gAppFolder points at it.
class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    previousAppFolder_ = gAppFolder;
    gAppFolder = app_.path();
    app_.write(QStringLiteral("lang/english.xml"), "<LANGUAGE/>");
    app_.write(QStringLiteral("resources/classic-full.xsl"), "<xsl/>");
    app_.makeFolder(QStringLiteral("root"));
    app_.makeFolder(QStringLiteral("music"));
    gConfiguration = {};
    orv::core::debugEventLog().clear();
  }
  void TearDown() override {
    gConfiguration = {};
    orv::core::debugEventLog().clear();
    gAppFolder = previousAppFolder_;
  }

  QString configPath() const { return app_.file(QStringLiteral("config.xml")); }

  // Loads a config.xml made of the given bytes.
  tConfiguration load(const QByteArray& bytes) const {
    app_.write(QStringLiteral("config.xml"), bytes);
    return fnctLoadConfiguration(configPath());
  }

  // Loads a current-format file with these sections inside CONFIGURATION.
  tConfiguration loadSections(const QByteArray& sections, const QByteArray& version = "102") const {
    return load("<?xml version='1.0' encoding='UTF-8'?><CONFIGURATION version='" + version + "'>" + sections +
                "</CONFIGURATION>");
  }

  // Saves a record and loads the file again.
  tConfiguration saveAndReload(const tConfiguration& record) const {
    gConfiguration = record;
    EXPECT_TRUE(subSaveConfiguration(configPath()).ok);
    return fnctLoadConfiguration(configPath());
  }

  TempFolder app_;
  QString previousAppFolder_;
};

// The record of a run without a usable config.xml.
void expectDefaults(const tConfiguration& c) {
  EXPECT_EQ(c.Protocol.LOCAL_PORT, QStringLiteral("80"));
  EXPECT_TRUE(c.Protocol.ENABLE_COMPRESSION);  // zlib is always there
  EXPECT_EQ(c.Protocol.MAX_IDENTIFICATION_ERROR, 20);
  EXPECT_EQ(c.Protocol.BAN_DURATION, 240);
  EXPECT_FALSE(c.Protocol.ALLOW_ONLY_DOMAINS);
  EXPECT_TRUE(c.Protocol.DOMAINS_LIST.isEmpty());
  EXPECT_EQ(c.Protocol.IDENTIFICATION_METHOD, 2);
  EXPECT_EQ(c.Language.FILENAME, QStringLiteral("english.xml"));
  EXPECT_EQ(c.Language.strLanguageFilePath, gAppFolder + QStringLiteral("/lang/english.xml"));
  EXPECT_EQ(c.ShellExtension.SOUND, orv::core::defaultSoundExtensions());
  EXPECT_EQ(c.ShellExtension.IMAGE, orv::core::defaultImageExtensions());
  EXPECT_EQ(c.ShellExtension.VIDEO, orv::core::defaultVideoExtensions());
  EXPECT_FALSE(c.Other.START_IN_TRAY);
  EXPECT_FALSE(c.Other.START_SERVER_ON_LOAD);
  EXPECT_EQ(c.Other.MINATURE_CACHE_SIZE_MAX, 10000000);
  EXPECT_EQ(c.IpFilters.bytMethod, 2);
  EXPECT_EQ(c.IpFilters.colAddresses.count(), 0);
  EXPECT_EQ(c.LocalPaths.colExclusions.count(), 0);
  EXPECT_TRUE(c.History.KEEP_HISTORY);
  EXPECT_EQ(c.History.MAX_ENTRY, 150);
  EXPECT_EQ(c.AppDisplay.SHARES_LIST_SHOW_BY, 1);
  EXPECT_EQ(c.AppDisplay.SHARES_LIST_SORT_BY, 2);
  EXPECT_EQ(c.AppDisplay.SHARES_LIST_ITEMS_TEXT, 1);
  EXPECT_FALSE(c.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS);
  EXPECT_TRUE(c.AppDisplay.SHOW_TRANSFERS_TOOL_TIPS);
  EXPECT_FALSE(c.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS);
  EXPECT_TRUE(c.HtmlDisplay.ALLOW_MINIATURES);
  EXPECT_TRUE(c.HtmlDisplay.ALLOW_MP3_TAGS);
  EXPECT_FALSE(c.HtmlDisplay.HIDE_EXTENSIONS);
  EXPECT_EQ(c.HtmlDisplay.MINATURE_DIMENSION, 96);
  EXPECT_EQ(c.HtmlDisplay.XSL_FILE, QStringLiteral("classic-full.xsl"));
  EXPECT_EQ(c.HtmlDisplay.PAGE_BUILD_METHOD, 2);
  EXPECT_EQ(c.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS.size(), 5);
  EXPECT_TRUE(c.AppsNameManagement.BANNED_CLIENTS_KEYWORDS.isEmpty());
  EXPECT_EQ(c.Users.count(), 0);
  EXPECT_EQ(c.Shared.count(), 0);
  const ShareEntry& root = c.Shared.RootShare;
  EXPECT_EQ(root.localPath, gAppFolder);
  EXPECT_TRUE(root.users.isEmpty());
  EXPECT_FALSE(root.restricted);
  EXPECT_TRUE(root.sharePhysicalFolder && root.shareVirtualFolder && root.shareOther && root.shareSound &&
              root.shareImage && root.shareVideo);
  EXPECT_TRUE(c.AppState.blnZlibAvailable);
  EXPECT_FALSE(c.AppState.blnConfigModified);
}

TEST_F(ConfigFile, MissingFileGivesTheDefaults) {
  expectDefaults(fnctLoadConfiguration(configPath()));
}

struct HostileFile {
  const char* what;
  QByteArray bytes;
};

class HostileConfigFile : public ConfigFile, public ::testing::WithParamInterface<HostileFile> {};

TEST_P(HostileConfigFile, LoadsTheDefaults) {
  expectDefaults(load(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileConfigFile,
    ::testing::Values(
        HostileFile{"empty", ""}, HostileFile{"blank", "   \n\t"}, HostileFile{"not XML", "LOCAL_PORT=8080\n"},
        HostileFile{"binary", QByteArray("\x00\xff\xfe<\x01\x02", 6)},
        HostileFile{"truncated",
                    "<?xml version='1.0'?><CONFIGURATION version='102'><PROTOCOL><LOCAL_PORT>8080</LOCAL_PO"},
        HostileFile{"deeply nested", QByteArray("<CONFIGURATION version='102'>") +
                                         QByteArray("<PROTOCOL>").repeated(20000) + "<LOCAL_PORT>8080</LOCAL_PORT>" +
                                         QByteArray("</PROTOCOL>").repeated(20000) + "</CONFIGURATION>"},
        HostileFile{"another root", "<SETTINGS><PROTOCOL><LOCAL_PORT>8080</LOCAL_PORT></PROTOCOL></SETTINGS>"},
        HostileFile{"external entity",
                    "<?xml version='1.0'?><!DOCTYPE CONFIGURATION [<!ENTITY port SYSTEM 'file:///etc/hostname'>]>"
                    "<CONFIGURATION version='102'><PROTOCOL><LOCAL_PORT>&port;</LOCAL_PORT></PROTOCOL>"
                    "</CONFIGURATION>"},
        HostileFile{"entity expansion",
                    "<?xml version='1.0'?><!DOCTYPE CONFIGURATION [<!ENTITY a '1234567890'>"
                    "<!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'><!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'>"
                    "<!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'><!ENTITY e '&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;'>]>"
                    "<CONFIGURATION version='102'><PROTOCOL><LOCAL_PORT>&e;</LOCAL_PORT></PROTOCOL>"
                    "<USERS><USER login='&e;' password='pwd:&e;' pagesicon='' urlsicon=''/></USERS>"
                    "</CONFIGURATION>"},
        HostileFile{"exponential entities",
                    "<?xml version='1.0'?><!DOCTYPE CONFIGURATION [<!ENTITY a0 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'>"
                    "<!ENTITY a1 '&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;'>"
                    "<!ENTITY a2 '&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;'>"
                    "<!ENTITY a3 '&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;'>"
                    "<!ENTITY a4 '&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;'>"
                    "<!ENTITY a5 '&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;'>"
                    "<!ENTITY a6 '&a5;&a5;&a5;&a5;&a5;&a5;&a5;&a5;&a5;&a5;'>"
                    "<!ENTITY a7 '&a6;&a6;&a6;&a6;&a6;&a6;&a6;&a6;&a6;&a6;'>"
                    "<!ENTITY a8 '&a7;&a7;&a7;&a7;&a7;&a7;&a7;&a7;&a7;&a7;'>"
                    "<!ENTITY a9 '&a8;&a8;&a8;&a8;&a8;&a8;&a8;&a8;&a8;&a8;'>]>"
                    "<CONFIGURATION version='102'><PROTOCOL><LOCAL_PORT>&a9;</LOCAL_PORT></PROTOCOL>"
                    "<SHARED><SHARE serverPath='/&a9;/' localPath='/srv/&a9;' users=''/></SHARED>"
                    "<USERS><USER login='&a9;' password='pwd:&a9;' pagesicon='&a9;' urlsicon=''/></USERS>"
                    "</CONFIGURATION>"},
        HostileFile{"wrong types everywhere",
                    "<CONFIGURATION version='x'><PROTOCOL><LOCAL_PORT>http</LOCAL_PORT>"
                    "<ENABLE_COMPRESSION>yes</ENABLE_COMPRESSION><MAX_IDENTIFICATION_ERROR>many</MAX_IDENTIFICATION_"
                    "ERROR><MAX_AUTHENTICATION_ERROR>0</MAX_AUTHENTICATION_ERROR><BAN_DURATION>1e99</BAN_DURATION>"
                    "<ALLOW_ONLY_DOMAINS>1</ALLOW_ONLY_DOMAINS><DOMAINS_LIST>;;;</DOMAINS_LIST>"
                    "<IDENTIFICATION_METHOD>basic</IDENTIFICATION_METHOD></PROTOCOL>"
                    "<LANGUAGE><FILENAME>/etc/passwd</FILENAME></LANGUAGE>"
                    "<OTHER><START_IN_TRAY>on</START_IN_TRAY><MINATURE_CACHE_SIZE_MAX>big</MINATURE_CACHE_SIZE_MAX>"
                    "</OTHER><SHELL_EXTENSION><SOUND>mp3</SOUND><IMAGE></IMAGE><VIDEO>;</VIDEO></SHELL_EXTENSION>"
                    "<HISTORY><KEEP_HISTORY>maybe</KEEP_HISTORY><MAX_ENTRY>-7</MAX_ENTRY></HISTORY>"
                    "<APPLICATION_DISPLAY><SHARES_LIST_SHOW_BY>9</SHARES_LIST_SHOW_BY><SHARES_LIST_SORT_BY>nan"
                    "</SHARES_LIST_SORT_BY><SHARES_LIST_ITEMS_TEXT>inf</SHARES_LIST_ITEMS_TEXT>"
                    "</APPLICATION_DISPLAY><HTML_DISPLAY><MINATURE_DIMENSION>40000</MINATURE_DIMENSION>"
                    "<XSL_FILE>../lang/english.xml</XSL_FILE><ALLOW_MINIATURES>False </ALLOW_MINIATURES>"
                    "</HTML_DISPLAY><APPLICATIONS_NAME_MANAGEMENT><AUDIO_PLAYERS_KEYWORDS>;;</AUDIO_PLAYERS_"
                    "KEYWORDS></APPLICATIONS_NAME_MANAGEMENT>"
                    "<SHARED><SHARE serverPath='/' localPath=''/><SHARE serverPath='/a:b/' localPath='/srv'/>"
                    "<SHARE serverPath='/ok/'/><SHARE/></SHARED>"
                    "<USERS><USER/><USER login='a:b' password='pwd:eA=='/><USER login='amy' password='plain'/>"
                    "<USER login='eve' password='pwd:'/></USERS>"
                    "<IP_FILTERS><ADDRESS ip='10.0.0.256'/><ADDRESS/></IP_FILTERS>"
                    "<LOCAL_PATHS><EXCLUSION path=''/><EXCLUSION/></LOCAL_PATHS></CONFIGURATION>"}),
    [](const ::testing::TestParamInfo<HostileFile>& param) {
      std::string name;
      for (const char* c = param.param.what; *c != 0; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      }
      return name;
    });

TEST_F(ConfigFile, FileTooLargeForAnyStoreIsNotReadAndGivesTheDefaults) {
  // A sparse file: large on paper, nothing on disk.
  QFile file(configPath());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_TRUE(file.write("<CONFIGURATION version='102'><PROTOCOL><LOCAL_PORT>8080</LOCAL_PORT>") > 0);
  ASSERT_TRUE(file.resize(300LL * 1024 * 1024));
  file.close();
  expectDefaults(fnctLoadConfiguration(configPath()));
}

TEST_F(ConfigFile, LargeFileOfManySharesLoadsThemAll) {
  QByteArray shares;
  for (int i = 1; i <= 5000; ++i) {
    shares += "<SHARE serverPath='/s" + QByteArray::number(i) + "/' localPath='/srv/" + QByteArray::number(i) +
              "' users='' sharePhysicalFolder='true'/>";
  }
  const tConfiguration c = loadSections("<SHARED>" + shares + "</SHARED>");
  ASSERT_EQ(c.Shared.count(), 5000);
  EXPECT_EQ(c.Shared.entryAt(5000).id, QStringLiteral("id5000"));
  EXPECT_EQ(c.Shared.serverPath.value(QStringLiteral("id4321")), QStringLiteral("/s4321/"));
}

TEST_F(ConfigFile, NumbersAreWholeNumbersOfTheirFieldsRange) {
  struct Case {
    const char* text;
    int maxEntry;   // 32-bit, -1 = no limit, 0 becomes 150
    int dimension;  // 16-bit, below 10 becomes 96
  };
  const Case cases[] = {
      {"12", 12, 12},          {" 40 ", 40, 40},  {"12.5", 12, 12},      // halves to even
      {"13.5", 14, 14},        {"1e2", 100, 100}, {"40000", 40000, 96},  // beyond 16 bits
      {"3000000000", 150, 96},                                           // beyond 32 bits
      {"-1", -1, 96},          {"0x10", 150, 96}, {"", 150, 96},
  };
  for (const Case& c : cases) {
    const QByteArray text = c.text;
    const tConfiguration record = loadSections("<HISTORY><MAX_ENTRY>" + text +
                                               "</MAX_ENTRY></HISTORY><HTML_DISPLAY>"
                                               "<MINATURE_DIMENSION>" +
                                               text + "</MINATURE_DIMENSION></HTML_DISPLAY>");
    EXPECT_EQ(record.History.MAX_ENTRY, c.maxEntry) << c.text;
    EXPECT_EQ(record.HtmlDisplay.MINATURE_DIMENSION, c.dimension) << c.text;
  }
}

TEST_F(ConfigFile, BooleansReadTrueAndFalseInAnyCaseAndOtherwiseTheirDefault) {
  const tConfiguration flipped = loadSections(
      "<PROTOCOL><ENABLE_COMPRESSION>FALSE</ENABLE_COMPRESSION><ALLOW_ONLY_DOMAINS>True</ALLOW_ONLY_DOMAINS>"
      "<DOMAINS_LIST>a.org;</DOMAINS_LIST></PROTOCOL><HISTORY><KEEP_HISTORY>false</KEEP_HISTORY></HISTORY>"
      "<OTHER><START_SERVER_ON_LOAD>TRUE</START_SERVER_ON_LOAD><START_IN_TRAY>true</START_IN_TRAY></OTHER>"
      "<HTML_DISPLAY><VIEW_HIDDEN_DISK_ITEMS>true</VIEW_HIDDEN_DISK_ITEMS><ALLOW_MINIATURES>false</ALLOW_MINIATURES>"
      "<ALLOW_MP3_TAGS>false</ALLOW_MP3_TAGS><HIDE_EXTENSIONS>true</HIDE_EXTENSIONS></HTML_DISPLAY>"
      "<APPLICATION_DISPLAY><SHOW_TRANSFERS_TOOL_TIPS>false</SHOW_TRANSFERS_TOOL_TIPS>"
      "<SHOW_TRANSFERS_LISTS_INFOS>true</SHOW_TRANSFERS_LISTS_INFOS></APPLICATION_DISPLAY>");
  EXPECT_FALSE(flipped.Protocol.ENABLE_COMPRESSION);
  EXPECT_TRUE(flipped.Protocol.ALLOW_ONLY_DOMAINS);
  EXPECT_FALSE(flipped.History.KEEP_HISTORY);
  EXPECT_TRUE(flipped.Other.START_SERVER_ON_LOAD);
  EXPECT_TRUE(flipped.Other.START_IN_TRAY);
  EXPECT_TRUE(flipped.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS);
  EXPECT_FALSE(flipped.HtmlDisplay.ALLOW_MINIATURES);
  EXPECT_FALSE(flipped.HtmlDisplay.ALLOW_MP3_TAGS);
  EXPECT_TRUE(flipped.HtmlDisplay.HIDE_EXTENSIONS);
  EXPECT_FALSE(flipped.AppDisplay.SHOW_TRANSFERS_TOOL_TIPS);
  EXPECT_TRUE(flipped.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS);
}

TEST_F(ConfigFile, FirstOfDuplicateSectionsAndSettingsWinsWhereverItStands) {
  const tConfiguration c = loadSections(
      "<WRAPPER><PROTOCOL><GROUP><LOCAL_PORT>8081</LOCAL_PORT></GROUP><LOCAL_PORT>8082</LOCAL_PORT>"
      "<BAN_DURATION>60</BAN_DURATION></PROTOCOL></WRAPPER><PROTOCOL><LOCAL_PORT>8083</LOCAL_PORT></PROTOCOL>"
      "<USERS><USER login='amy' password='pwd:eA==' pagesicon='' urlsicon=''/></USERS>"
      "<USERS><USER login='bob' password='pwd:eA==' pagesicon='' urlsicon=''/></USERS>");
  EXPECT_EQ(c.Protocol.LOCAL_PORT, QStringLiteral("8081"));
  EXPECT_EQ(c.Protocol.BAN_DURATION, 60);
  ASSERT_EQ(c.Users.count(), 1);
  EXPECT_EQ(c.Users.login.at(1), QStringLiteral("amy"));
}

TEST_F(ConfigFile, ConfigurationElementBelowAnotherRootIsFound) {
  const tConfiguration c = load(
      "<BACKUP><CONFIGURATION version='102'><PROTOCOL><LOCAL_PORT>9000</LOCAL_PORT>"
      "</PROTOCOL></CONFIGURATION></BACKUP>");
  EXPECT_EQ(c.Protocol.LOCAL_PORT, QStringLiteral("9000"));
}

TEST_F(ConfigFile, OlderFormatReadsTheAuthenticationLimitAndCodePageServerPaths) {
  const QByteArray sections =
      "<PROTOCOL><MAX_AUTHENTICATION_ERROR>5</MAX_AUTHENTICATION_ERROR></PROTOCOL>"
      "<SHARED><SHARE serverPath='/%E9t%E9/' localPath='/srv/summer' users=''/></SHARED>";
  struct Case {
    QByteArray version;
    int limit;
    const char* serverPath;
  };
  const Case cases[] = {
      {"101", 5, "/%C3%A9t%C3%A9/"},
      {"", 5, "/%C3%A9t%C3%A9/"},
      {"old", 5, "/%C3%A9t%C3%A9/"},
      {"102", 20, "/%E9t%E9/"},
  };
  for (const Case& c : cases) {
    const tConfiguration record = loadSections(sections, c.version);
    EXPECT_EQ(record.Protocol.MAX_IDENTIFICATION_ERROR, c.limit) << c.version.constData();
    ASSERT_EQ(record.Shared.count(), 1);
    EXPECT_EQ(record.Shared.serverPath.at(1), QLatin1String(c.serverPath)) << c.version.constData();
  }
}

TEST_F(ConfigFile, SharesAreNormalisedAndDuplicatesDropped) {
  const QByteArray sections =
      "<USERS><USER login='amy' password='pwd:eA==' pagesicon='' urlsicon=''/></USERS><SHARED>"
      "<SHARE serverPath='/Music' localPath='/srv/music/' users='' sharePhysicalFolder='TRUE' shareSound='true'/>"
      "<SHARE serverPath='/music/' localPath='/srv/other' users=''/>"
      "<SHARE serverPath='/files' localPath='{FOLDER:app}/files/' users='zed:amy'/>"
      "<SHARE serverPath='/open/' localPath='/srv/open' users='zed' shareVideo='yes'/>"
      "<SHARE serverPath='/a b /' localPath='/srv/x' users=''/>"
      "<SHARE serverPath='/a%2F%2Fb/' localPath='/srv/x' users=''/>"
      "<SHARE serverPath='/empty/' localPath='' users=''/>"
      "</SHARED>";
  const tConfiguration c = loadSections(sections);
  ASSERT_EQ(c.Shared.count(), 3);
  const ShareEntry music = c.Shared.entryAt(1);
  EXPECT_EQ(music.id, QStringLiteral("id1"));
  EXPECT_EQ(music.serverPath, QStringLiteral("/Music/"));
  EXPECT_EQ(music.localPath, QStringLiteral("/srv/music"));
  EXPECT_TRUE(music.sharePhysicalFolder);
  EXPECT_TRUE(music.shareSound);
  EXPECT_FALSE(music.shareVirtualFolder);  // missing attribute
  const ShareEntry files = c.Shared.entryAt(2);
  EXPECT_EQ(files.id, QStringLiteral("id2"));
  EXPECT_EQ(files.localPath, gAppFolder + QStringLiteral("/files"));
  EXPECT_EQ(files.users, QStringLiteral("amy"));
  EXPECT_TRUE(files.restricted);
  const ShareEntry open = c.Shared.entryAt(3);
  EXPECT_EQ(open.users, QString());
  EXPECT_FALSE(open.restricted);
  EXPECT_FALSE(open.shareVideo);
}

TEST_F(ConfigFile, LastRootShareOfTheFileWins) {
  const QString root = app_.file(QStringLiteral("root"));
  const QString music = app_.file(QStringLiteral("music"));
  const tConfiguration c =
      loadSections("<SHARED><SHARE serverPath='/' localPath='" + root.toUtf8() +
                   "/' users='' shareOther='true'/><SHARE serverPath='/' localPath='" + music.toUtf8() +
                   "' users='' shareImage='true'/><SHARE serverPath='/' localPath='' users=''/></SHARED>");
  EXPECT_EQ(c.Shared.count(), 0);
  EXPECT_EQ(c.Shared.RootShare.localPath, music);
  EXPECT_TRUE(c.Shared.RootShare.shareImage);
  EXPECT_FALSE(c.Shared.RootShare.shareOther);
  EXPECT_EQ(c.Shared.RootShare.id, QStringLiteral("id0"));
}

TEST_F(ConfigFile, AccountsNeedAFreeLoginAndAStoredPassword) {
  const tConfiguration c = loadSections(
      "<USERS>"
      "<USER login='Bob' password='pwd:c2VjcmV0' pagesicon='p.png' urlsicon='u.png'/>"
      "<USER login='BOB' password='pwd:eA==' pagesicon='' urlsicon=''/>"
      "<USER login='a:b' password='pwd:eA==' pagesicon='' urlsicon=''/>"
      "<USER login='' password='pwd:eA==' pagesicon='' urlsicon=''/>"
      "<USER login='plain' password='secret' pagesicon='' urlsicon=''/>"
      "<USER login='short' password='PWD:' pagesicon='' urlsicon=''/>"
      "<USER login='amy' password='PWD:cORzc3f2cmQ=' pagesicon='' urlsicon=''/>"
      "</USERS>");
  ASSERT_EQ(c.Users.count(), 2);
  EXPECT_EQ(c.Users.accountAt(1).id, QStringLiteral("id1"));
  EXPECT_EQ(c.Users.accountAt(1).login, QStringLiteral("Bob"));
  EXPECT_EQ(c.Users.accountAt(1).password, QStringLiteral("secret"));
  EXPECT_EQ(c.Users.accountAt(1).pagesicon, QStringLiteral("p.png"));
  EXPECT_EQ(c.Users.accountAt(1).urlsicon, QStringLiteral("u.png"));
  EXPECT_EQ(c.Users.accountAt(2).id, QStringLiteral("id2"));
  EXPECT_EQ(c.Users.accountAt(2).password, QString::fromUtf8("pässwörd"));
}

TEST_F(ConfigFile, SemicolonListsCollapseRunsAndKeepTheirLastElement) {
  struct Case {
    const char* text;
    QStringList loaded;
    const char* written;
  };
  const Case cases[] = {
      {"a.org;;b.org;", {QStringLiteral("a.org"), QStringLiteral("b.org"), QString()}, "a.org;b.org;"},
      {";;", {}, ";"},
      {"", {}, ";"},
      {"a.org", {QStringLiteral("a.org")}, "a.org;"},  // one domain without its ";" is kept
      {"a.org;b.org", {QStringLiteral("a.org"), QStringLiteral("b.org")}, "a.org;b.org;"},
  };
  for (const Case& c : cases) {
    const tConfiguration record =
        loadSections(QByteArray("<PROTOCOL><ALLOW_ONLY_DOMAINS>true</ALLOW_ONLY_DOMAINS><DOMAINS_LIST>") + c.text +
                     "</DOMAINS_LIST></PROTOCOL><APPLICATIONS_NAME_MANAGEMENT><BANNED_CLIENTS_KEYWORDS>" + c.text +
                     "</BANNED_CLIENTS_KEYWORDS></APPLICATIONS_NAME_MANAGEMENT>");
    EXPECT_EQ(record.Protocol.DOMAINS_LIST, c.loaded) << c.text;
    EXPECT_EQ(record.Protocol.ALLOW_ONLY_DOMAINS, !c.loaded.isEmpty()) << c.text;
    EXPECT_EQ(record.AppsNameManagement.BANNED_CLIENTS_KEYWORDS, c.loaded) << c.text;
    const QByteArray written = orv::core::fnctBuildConfigurationBytes(record);
    EXPECT_TRUE(written.contains("<DOMAINS_LIST>" + QByteArray(c.written) + "</DOMAINS_LIST>")) << c.text;
    EXPECT_TRUE(written.contains("<BANNED_CLIENTS_KEYWORDS>" + QByteArray(c.written) + "</BANNED_CLIENTS_KEYWORDS>"));
  }
}

TEST_F(ConfigFile, IpFilterMethodAndAddresses) {
  struct Case {
    const char* element;
    int method;
  };
  const Case cases[] = {
      {"<IP_FILTERS method='allow'/>", 2},
      {"<IP_FILTERS method='Deny'/>", 1},
      {"<IP_FILTERS method='xyz'/>", 1},
      {"<IP_FILTERS method=''/>", 1},
      {"<IP_FILTERS/>", 2},
      {"", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(loadSections(c.element).IpFilters.bytMethod, c.method) << c.element;
  }
  const tConfiguration record = loadSections(
      "<IP_FILTERS method='Deny'><ADDRESS ip='10.0.0.1'/><ADDRESS ip='10.0.0.1'/><ADDRESS ip='10.0.0'/>"
      "<ADDRESS ip='10.0.0.a'/><ADDRESS ip='255.255.255.255'/></IP_FILTERS>"
      "<LOCAL_PATHS><EXCLUSION path='*.tmp'/><EXCLUSION path=''/><EXCLUSION path='*.tmp'/></LOCAL_PATHS>");
  ASSERT_EQ(record.IpFilters.colAddresses.count(), 3);
  EXPECT_EQ(record.IpFilters.colAddresses.at(3), QStringLiteral("255.255.255.255"));
  EXPECT_EQ(record.LocalPaths.colExclusions.count(), 2);
}

TEST_F(ConfigFile, PageBuildMethodReadsServerOrClient) {
  const struct {
    const char* sections;
    int method;
  } cases[] = {
      {"<HTML_DISPLAY><PAGE_BUILD_METHOD>SERVER</PAGE_BUILD_METHOD></HTML_DISPLAY>", 2},
      {"<HTML_DISPLAY><PAGE_BUILD_METHOD>client</PAGE_BUILD_METHOD></HTML_DISPLAY>", 1},
      {"<HTML_DISPLAY><PAGE_BUILD_METHOD></PAGE_BUILD_METHOD></HTML_DISPLAY>", 1},
      {"<HTML_DISPLAY/>", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(loadSections(c.sections).HtmlDisplay.PAGE_BUILD_METHOD, c.method) << c.sections;
  }
}

TEST_F(ConfigFile, TuningParametersStartFromTheirDefaults) {
  gConfiguration.AdvancedParameters.SKT_SNDBUF = 1;
  const tConfiguration c = loadSections("<PROTOCOL><SKT_SNDBUF>5</SKT_SNDBUF></PROTOCOL>");
  EXPECT_EQ(c.AdvancedParameters.SKT_SNDBUF, 32768);
  EXPECT_EQ(c.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE, 40960);
}

TEST_F(ConfigFile, FileTypeIconsAreScannedAtLoad) {
  for (const char* variant : {"16_show", "16_hide", "48_show", "48_hide"}) {
    app_.write(QStringLiteral("resources/filetype_") + QLatin1String(variant) + QStringLiteral("_pdf.png"), "icon");
  }
  EXPECT_EQ(fnctLoadConfiguration(configPath()).ShellExtension.strResourcesIconsList, QStringLiteral(".pdf:pdf.png;"));
}

// The golden file is config.xml as the writer must produce it, with "@APP@" standing for
// the application folder.
QByteArray goldenConfig(const QString& appFolder) {
  QByteArray golden = readAll(QStringLiteral(ORV_SOURCE_DIR "/tests/core/data/config_golden.xml"));
  return golden.replace("@APP@", appFolder.toUtf8());
}

TEST_F(ConfigFile, GivenFileLoadsItsValuesAndIsWrittenBackByteForByte) {
  const QByteArray golden = goldenConfig(gAppFolder);
  ASSERT_FALSE(golden.isEmpty());
  const tConfiguration c = load(golden);

  EXPECT_EQ(c.Shared.RootShare.localPath, app_.file(QStringLiteral("root")));
  EXPECT_EQ(c.Shared.RootShare.users, QStringLiteral("amy"));
  EXPECT_TRUE(c.Shared.RootShare.restricted);
  EXPECT_FALSE(c.Shared.RootShare.shareVirtualFolder);
  ASSERT_EQ(c.Shared.count(), 2);
  EXPECT_EQ(c.Shared.entryAt(2).serverPath, QStringLiteral("/%C3%A9t%C3%A9/"));
  EXPECT_EQ(c.Shared.entryAt(2).localPath, QStringLiteral("/srv/photos & films"));
  EXPECT_EQ(c.Shared.entryAt(2).users, QStringLiteral("amy:Bob"));
  EXPECT_EQ(c.LocalPaths.colExclusions.count(), 2);
  EXPECT_EQ(c.IpFilters.bytMethod, 1);
  EXPECT_EQ(c.IpFilters.colAddresses.at(2), QStringLiteral("192.168.1.20"));
  EXPECT_EQ(c.Protocol.LOCAL_PORT, QStringLiteral("8080"));
  EXPECT_FALSE(c.Protocol.ENABLE_COMPRESSION);
  EXPECT_EQ(c.Protocol.MAX_IDENTIFICATION_ERROR, -1);
  EXPECT_EQ(c.Protocol.BAN_DURATION, 600);
  EXPECT_TRUE(c.Protocol.ALLOW_ONLY_DOMAINS);
  EXPECT_EQ(c.Protocol.IDENTIFICATION_METHOD, 1);
  EXPECT_EQ(c.Other.MINATURE_CACHE_SIZE_MAX, 5000000);
  EXPECT_TRUE(c.Other.START_SERVER_ON_LOAD);
  EXPECT_EQ(c.ShellExtension.SOUND, QStringLiteral(".mp3;.ogg;"));
  EXPECT_FALSE(c.History.KEEP_HISTORY);
  EXPECT_EQ(c.History.MAX_ENTRY, -1);
  EXPECT_EQ(c.AppDisplay.SHARES_LIST_ITEMS_TEXT, 3);
  EXPECT_EQ(c.HtmlDisplay.MINATURE_DIMENSION, 128);
  EXPECT_EQ(c.HtmlDisplay.PAGE_BUILD_METHOD, 1);
  EXPECT_EQ(c.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS,
            (QStringList{QStringLiteral("winamp"), QStringLiteral("vlc"), QString()}));
  ASSERT_EQ(c.Users.count(), 2);
  EXPECT_EQ(c.Users.accountAt(2).password, QString::fromUtf8("pässwörd"));

  gConfiguration = c;
  const QString copy = app_.file(QStringLiteral("copy/config.xml"));
  app_.makeFolder(QStringLiteral("copy"));
  ASSERT_TRUE(subSaveConfiguration(copy).ok);
  EXPECT_EQ(readAll(copy), golden);
}

TEST_F(ConfigFile, SavedRecordReloadsWithRenumberedKeys) {
  tConfiguration record = fnctLoadConfiguration(configPath());
  record.Shared.add({QStringLiteral("id7"), QStringLiteral("/b/"), QStringLiteral("/srv/b"), QString(), false, true,
                     false, false, false, false, true});
  record.Shared.add({QStringLiteral("id3"), QStringLiteral("/a/"), QStringLiteral("/srv/a"), QString(), false, false,
                     false, false, false, false, false});
  record.Users.add({QStringLiteral("id9"), QStringLiteral("amy"),
                    QString::fromUtf8("€ and a long secret ") + QString(80, QLatin1Char('x')),
                    QStringLiteral("a<b>.png"), QStringLiteral("\"u\".gif")});
  record.LocalPaths.colExclusions.add(QStringLiteral("*&*"));
  record.Protocol.DOMAINS_LIST = QStringList{QStringLiteral("only.org")};
  record.Protocol.ALLOW_ONLY_DOMAINS = true;

  const tConfiguration reloaded = saveAndReload(record);
  ASSERT_EQ(reloaded.Shared.count(), 2);
  EXPECT_EQ(reloaded.Shared.entryAt(1).id, QStringLiteral("id1"));
  EXPECT_EQ(reloaded.Shared.entryAt(1).serverPath, QStringLiteral("/b/"));
  EXPECT_TRUE(reloaded.Shared.entryAt(1).shareVideo);
  EXPECT_EQ(reloaded.Shared.entryAt(2).id, QStringLiteral("id2"));
  ASSERT_EQ(reloaded.Users.count(), 1);
  EXPECT_EQ(reloaded.Users.accountAt(1).id, QStringLiteral("id1"));
  // A password longer than one line of Base64.
  EXPECT_EQ(reloaded.Users.accountAt(1).password, record.Users.accountAt(1).password);
  EXPECT_EQ(reloaded.Users.accountAt(1).pagesicon, QStringLiteral("a<b>.png"));
  EXPECT_EQ(reloaded.Users.accountAt(1).urlsicon, QStringLiteral("\"u\".gif"));
  EXPECT_EQ(reloaded.LocalPaths.colExclusions.at(1), QStringLiteral("*&*"));
  EXPECT_EQ(reloaded.Protocol.DOMAINS_LIST, (QStringList{QStringLiteral("only.org"), QString()}));
  EXPECT_TRUE(reloaded.Protocol.ALLOW_ONLY_DOMAINS);
}

TEST_F(ConfigFile, SaveIsPrivateAndClearsTheModifiedFlag) {
  QFile::remove(configPath());
  gConfiguration.AppState.blnConfigModified = true;
  ASSERT_TRUE(subSaveConfiguration(configPath()).ok);
  EXPECT_FALSE(gConfiguration.AppState.blnConfigModified);
  struct stat status {};
  ASSERT_EQ(::stat(configPath().toLocal8Bit().constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_TRUE(readAll(configPath())
                  .startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\">"
                              "<SHARED><SHARE serverPath=\"/\""));
}

QStringList gConsoleLines;

void captureConsole(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtWarningMsg) {
    gConsoleLines.append(message);
  }
}

// The failure must reach the debug log, the console and the caller, leave the modified flag
// set (nothing was saved) and leave whatever was at the path as it was.
void expectReportedFailure(const orv::platform::WriteResult& result) {
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.isEmpty());
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  ASSERT_EQ(orv::core::debugEventLog().count(), 1);
  EXPECT_TRUE(orv::core::debugEventLog().line(0).text.contains(QStringLiteral("Unable to save the configuration")));
  ASSERT_EQ(gConsoleLines.size(), 1);
  EXPECT_TRUE(gConsoleLines.first().startsWith(QStringLiteral("Unable to save the configuration")));
}

TEST_F(ConfigFile, FailedWriteKeepsTheOldFileAndIsReported) {
  const QByteArray old = "<CONFIGURATION version='102'><PROTOCOL><LOCAL_PORT>8080</LOCAL_PORT></PROTOCOL>";
  app_.write(QStringLiteral("config.xml"), old);
  gConfiguration.AppState.blnConfigModified = true;
  gConfiguration.AppState.blnDebugFormLoaded = true;
  gConsoleLines.clear();
  const QtMessageHandler previous = qInstallMessageHandler(captureConsole);

  // A disk that takes no more than a few bytes: the new file cannot be written whole.
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit small{16, limit.rlim_max};
  const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const orv::platform::WriteResult result = subSaveConfiguration(configPath());
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previousSignal);

  qInstallMessageHandler(previous);
  expectReportedFailure(result);
  EXPECT_EQ(readAll(configPath()), old);
  EXPECT_EQ(QDir(app_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("config.xml")});
}

TEST_F(ConfigFile, ReadOnlyFolderKeepsTheOldFileAndIsReported) {
  const ObeyFilePermissions obey;
  ASSERT_TRUE(obey.binding());
  const QString folder = app_.makeFolder(QStringLiteral("locked"));
  const QString path = folder + QStringLiteral("/config.xml");
  app_.write(QStringLiteral("locked/config.xml"), "old");
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  gConfiguration.AppState.blnConfigModified = true;
  gConfiguration.AppState.blnDebugFormLoaded = true;
  gConsoleLines.clear();
  const QtMessageHandler previous = qInstallMessageHandler(captureConsole);
  const orv::platform::WriteResult result = subSaveConfiguration(path);
  qInstallMessageHandler(previous);
  QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  expectReportedFailure(result);
  EXPECT_EQ(readAll(path), QByteArray("old"));
}

TEST_F(ConfigFile, PathThatIsAFolderIsNotReplaced) {
  const QString folder = app_.makeFolder(QStringLiteral("config.xml"));
  app_.write(QStringLiteral("config.xml/inside"), "kept");
  gConfiguration.AppState.blnConfigModified = true;
  gConsoleLines.clear();
  const QtMessageHandler previous = qInstallMessageHandler(captureConsole);
  gConfiguration.AppState.blnDebugFormLoaded = true;
  const orv::platform::WriteResult result = subSaveConfiguration(folder);
  qInstallMessageHandler(previous);
  expectReportedFailure(result);
  EXPECT_EQ(readAll(folder + QStringLiteral("/inside")), QByteArray("kept"));
}

}  // namespace
