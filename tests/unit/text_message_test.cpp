// text_message: lazy open, the locale's catalog, retry only after a locale change.
#include "catalog_fixture.h"

#include <zav/errno.h>
#include <zav/nl_types.h>
#include <zav/string.h>

namespace {

class TextMessage : public CatalogFixture {
 protected:
  void catalogs_for_de_and_fr() {
    write_catalog("de/zav.cat", {{1, 0, "Aufruf"}, {1, 641, "unbekannt"}, {1, 5785, "Fehler #%x"}});
    write_catalog("fr/zav.cat", {{1, 0, "Usage fr"}});
    set_env({"NLSPATH=" + path("%L/%N.cat")});
  }
};

TEST_F(TextMessage, LocaleChangeBetweenLookupsPicksTheOtherCatalog) {
  catalogs_for_de_and_fr();
  zav::setlocale(zav::LC_MESSAGES_, "de");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Aufruf");
  zav::setlocale(zav::LC_MESSAGES_, "fr");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Usage fr");
  EXPECT_STREQ(zav::text_message(641, "unknown", "E"), "unknown");
  zav::setlocale(zav::LC_ALL_, "POSIX");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Usage");
}

TEST_F(TextMessage, FailedOpenIsRetriedOnlyAfterTheLocaleChanges) {
  set_env({"NLSPATH=" + path("%L/%N.cat")});
  zav::setlocale(zav::LC_MESSAGES_, "de");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Usage");
  catalogs_for_de_and_fr();  // appears after the failed attempt
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Usage");
  zav::setlocale(zav::LC_MESSAGES_, "fr");
  zav::setlocale(zav::LC_MESSAGES_, "de");  // no lookup in between: still the failed "de"
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Usage");
  zav::setlocale(zav::LC_MESSAGES_, "fr");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Usage fr");
  zav::setlocale(zav::LC_MESSAGES_, "de");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Aufruf");
}

TEST_F(TextMessage, CloseAtExitAndReopenOnNextLookup) {
  catalogs_for_de_and_fr();
  zav::setlocale(zav::LC_MESSAGES_, "de");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Aufruf");
  zav::close_text_catalog();
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Aufruf");
  // A refused file for this locale gives defaults.
  write_bytes("de/zav.cat", {'<', 'g', 'e', 'n', 'c', 'a', 't', '!', 0, 0, 0, 0, 0, 0, 0, 0, 0});
  zav::close_text_catalog();
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "Usage");
}

TEST_F(TextMessage, ErrnoIsUnchangedAndStringMessageResolvesNumberedTexts) {
  catalogs_for_de_and_fr();
  zav::setlocale(zav::LC_MESSAGES_, "de");
  for (int e : {0, 2, -3, 12345}) {
    zav::errno_ = e;
    zav::text_message(0, "Usage", "U");
    zav::text_message(77, "absent", "E");
    zav::strerror(-1);
    zav::strerror(5);
    EXPECT_EQ(zav::errno_, e);
  }
  zav::errno_ = 0;
  EXPECT_STREQ(zav::string_message("641##unknown error"), "unbekannt");
  EXPECT_STREQ(zav::string_message("0x281##x"), "unbekannt");
  EXPECT_STREQ(zav::string_message("##no number"), "Aufruf");
  EXPECT_STREQ(zav::string_message("642##absent"), "absent");
  const char* plain = "641#one hash";
  EXPECT_EQ(zav::string_message(plain), plain);
  const char* words = "no number";
  EXPECT_EQ(zav::string_message(words), words);
}

// A catalog text is a printf format for most messages: it is used only when it
// takes the same arguments as the default text, in the same order.
TEST_F(TextMessage, CatalogTextsAreUsedOnlyWithTheConversionsOfTheDefault) {
  std::string many;
  for (int i = 0; i < 20; ++i) many += "%s ";
  const struct {
    const char* default_text;
    std::string catalog_text;
    bool used;
  } cases[] = {
      {"%s: Unknown option %c%c\n", "%s: unbekannte Option %c%c\n", true},
      {"%s: Unknown option %c%c\n", "%-12s: Option %3c%c (100%%)\n", true},
      {"%s: Unknown option %c%c\n", many, false},
      {"%s: Unknown option %c%c\n", "%n%s: %c%c", false},
      {"%s: Unknown option %c%c\n", "%s: %c%c%n", false},
      {"%s: Unknown option %c%c\n", "%s: %c", false},
      {"%s: Unknown option %c%c\n", "%c%c: %s", false},
      {"%s: Unknown option %c%c\n", "%s: %*c%c", false},
      {"%s: Unknown option %c%c\n", "%1$s: %2$c%3$c", false},
      {"%s: Unknown option %c%c\n", "%s: %lc%c", false},
      {"%s: Unknown option %c%c\n", "%s: %c%c %", false},
      {"%s: Unknown option %c%c\n", "%s: %c%c %y", false},
      {"Unknown error #%x", "Fehler #%x", true},
      {"Unknown error #%x", "Fehler #%d", false},
      {"Usage: rmdir [-p] directory ...\n", "Aufruf: rmdir [-p] Verzeichnis ... 100%%\n", true},
      {"Usage: rmdir [-p] directory ...\n", "Aufruf: 100% sicher\n", false},
      {"!memory allocation failure", "!Speicher %s", false},
  };
  set_env({"NLSPATH=" + path("%L/%N.cat")});
  zav::setlocale(zav::LC_MESSAGES_, "de");
  int number = 1;
  for (const auto& c : cases) {
    write_catalog("de/zav.cat", {{1, number, c.catalog_text}});
    zav::close_text_catalog();
    EXPECT_EQ(std::string(zav::text_message(number, c.default_text, "E")), c.used ? c.catalog_text : c.default_text)
        << c.catalog_text;
    ++number;
  }
}

TEST_F(TextMessage, DefaultTemplateUsesRootdirAndPosixLocale) {
  write_catalog("etc/nls/locale/POSIX/zav.cat", {{1, 0, "from rootdir"}});
  set_env({"ROOTDIR=" + path("")});  // trailing separator is dropped
  std::string root = path("");
  for (char& c : root)
    if (c == '\\') c = '/';
  root.pop_back();
  EXPECT_EQ(std::string(zav::rootname("/x")), root + "/x");
  EXPECT_STREQ(zav::text_message(0, "Usage", "U"), "from rootdir");
  EXPECT_STREQ(zav::rootname("relative"), "relative");
}

}  // namespace
