// setlocale: names from the argument and from the environment, and the change flags.
#include "catalog_fixture.h"

#include <zav/isyes.h>

namespace {

class Setlocale : public CatalogFixture {
 protected:
  std::string name(int category) { return zav::setlocale(category, nullptr); }
};

TEST_F(Setlocale, QueriesAndInvalidCategories) {
  EXPECT_EQ(name(zav::LC_MESSAGES_), "POSIX");
  EXPECT_EQ(zav::setlocale(7, nullptr), nullptr);
  EXPECT_EQ(zav::setlocale(-1, "de"), nullptr);
  EXPECT_EQ(name(zav::LC_CTYPE_), "POSIX");
  EXPECT_STREQ(zav::setlocale(zav::LC_TIME_, "C"), "C");
  EXPECT_EQ(zav::locale_categories[zav::LC_TIME_].is_posix, 1);
  EXPECT_STREQ(zav::setlocale(zav::LC_TIME_, "de"), "de");
  EXPECT_EQ(zav::locale_categories[zav::LC_TIME_].is_posix, 0);
  EXPECT_EQ(name(zav::LC_COLLATE_), "POSIX");
}

TEST_F(Setlocale, EmptyLcAllFallsBackToLangExceptForOwnVariables) {
  set_env({"LC_ALL=", "LANG=fr", "LC_MESSAGES=de"});
  EXPECT_STREQ(zav::setlocale(zav::LC_ALL_, ""), "fr");
  for (int c : {zav::LC_CTYPE_, zav::LC_COLLATE_, zav::LC_TIME_, zav::LC_NUMERIC_, zav::LC_MONETARY_})
    EXPECT_EQ(name(c), "fr") << c;
  EXPECT_EQ(name(zav::LC_MESSAGES_), "de");

  set_env({"LC_CTYPE=ja", "LANG=fr"});
  EXPECT_STREQ(zav::setlocale(zav::LC_ALL_, ""), "ja");  // LC_ALL takes row 0's name
  set_env({"LC_ALL=it", "LANG=fr", "LC_MESSAGES=de"});
  EXPECT_STREQ(zav::setlocale(zav::LC_ALL_, ""), "it");
  EXPECT_EQ(name(zav::LC_MESSAGES_), "it");
  set_env({"lang=fr"});  // names compare exactly
  EXPECT_STREQ(zav::setlocale(zav::LC_ALL_, ""), "POSIX");
}

TEST_F(Setlocale, EmptyLocaleForOneCategoryTakesTheFirstSetVariable) {
  set_env({"LANG=fr", "LC_NUMERIC=de"});
  EXPECT_STREQ(zav::setlocale(zav::LC_NUMERIC_, ""), "de");
  EXPECT_STREQ(zav::setlocale(zav::LC_TIME_, ""), "fr");
  set_env({"LC_ALL=", "LANG=fr", "LC_NUMERIC=de"});  // an empty LC_ALL still counts as set
  EXPECT_STREQ(zav::setlocale(zav::LC_NUMERIC_, ""), "");
  set_env({});
  EXPECT_STREQ(zav::setlocale(zav::LC_NUMERIC_, ""), "POSIX");
}

TEST_F(Setlocale, FlagsChangeOnlyWithTheName) {
  auto& row = zav::locale_categories[zav::LC_MESSAGES_];
  zav::setlocale(zav::LC_MESSAGES_, "de");
  row.flags = 0x42;
  zav::setlocale(zav::LC_MESSAGES_, "de");
  zav::setlocale(zav::LC_ALL_, "de");
  EXPECT_EQ(row.flags, 0x42);
  zav::setlocale(zav::LC_ALL_, "fr");
  EXPECT_EQ(row.flags, 1);
}

}  // namespace
