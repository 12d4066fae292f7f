#include "server/status_texts.h"

#include "support/qt_printers.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

using orv::server::getRequestStatusMsg;

TEST(StatusTexts, GivesThePhraseOfEachStatus) {
  struct Case {
    const char* status;
    const char* phrase;
  };
  const Case cases[] = {
      {"100", "Continue"},
      {"200", "OK"},
      {"206", "Partial Content"},
      {"301", "Moved Permanently"},
      {"304", "Not Modified"},
      {"307", "Temporary Redirect"},
      {"400", "Bad Request"},
      {"401", "Unauthorized"},
      {"403", "Forbidden"},
      {"404", "Not Found"},
      {"405", "Method Not Allowed"},
      {"413", "Request Entity Too Large"},
      {"414", "Request-URI Too Long"},
      {"416", "Requested Range Not Satisfiable"},
      {"503", "Service Unavailable"},
      {"505", "HTTP Version Not Supported"},
      // Outside the table, and texts that are not exactly a key.
      {"306", "Unknow method"},
      {"299", "Unknow method"},
      {"999", "Unknow method"},
      {"", "Unknow method"},
      {" 200", "Unknow method"},
      {"0200", "Unknow method"},
      {"200 ", "Unknow method"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QString(getRequestStatusMsg(c.status)), QString::fromLatin1(c.phrase)) << c.status;
  }
}

}  // namespace
