// catopen/catgets/catclose: paging, damaged files, and the search along NLSPATH.
#include "catalog_fixture.h"

#include <cstring>

#include <zav/errno.h>
#include <zav/nl_types.h>
#include <zav/stdlib.h>

namespace {

using gencat::message;

class Catalog : public CatalogFixture {};

std::string text_of(int i) { return "text " + std::to_string(i); }

TEST_F(Catalog, LargeSetIsFoundOnEveryPageIncludingThePartialLast) {
  std::vector<message> messages;
  for (int i = 0; i < 2500; ++i) messages.push_back({1, 3 * i + 7, text_of(i)});
  messages.push_back({2, 5, "other set"});
  zav::nl_catd catd = zav::catopen(write_catalog("big.cat", messages).c_str(), 0);
  ASSERT_NE(catd, zav::CATD_FAILED_);
  EXPECT_EQ(catd->set_count, 2);
  for (int i : {0, 1, 511, 1023, 1024, 1500, 2047, 2048, 2300, 2499}) {
    EXPECT_STREQ(zav::catgets(catd, 1, 3 * i + 7, "dflt"), text_of(i).c_str()) << "entry " << i;
  }
  EXPECT_STREQ(zav::catgets(catd, 1, 8, "absent"), "absent");
  EXPECT_STREQ(zav::catgets(catd, 1, 3 * 2499 + 10, "beyond"), "beyond");
  EXPECT_STREQ(zav::catgets(catd, 1, 3 * 2498 + 7, "dflt"), text_of(2498).c_str());
  EXPECT_STREQ(zav::catgets(catd, 2, 5, "dflt"), "other set");
  EXPECT_STREQ(zav::catgets(catd, 3, 5, "no set"), "no set");
  EXPECT_STREQ(zav::catgets(catd, 1, 7, "dflt"), text_of(0).c_str());
  EXPECT_EQ(zav::catclose(catd), 0);
}

TEST_F(Catalog, LoadedPageServesTheNextLookupWithoutRereadingTheIndex) {
  std::string file = write_catalog("small.cat", {{1, 10, "ten"}, {1, 20, "twenty"}});
  zav::nl_catd catd = zav::catopen(file.c_str(), 0);
  ASSERT_NE(catd, zav::CATD_FAILED_);
  EXPECT_STREQ(zav::catgets(catd, 1, 20, "d"), "twenty");
  // Renumber message 20 on disk: the page in memory still has the old number.
  auto bytes = gencat::build({{1, 10, "ten"}, {1, 21, "twenty"}});
  write_bytes("small.cat", bytes);
  EXPECT_STREQ(zav::catgets(catd, 1, 20, "d"), "twenty");
  zav::catclose(catd);
}

TEST_F(Catalog, RefusedAndDamagedFilesGiveFailureOrDefaults) {
  auto good = gencat::build({{1, 1, "one"}, {1, 2, "two"}, {2, 1, "x"}});

  auto bad_header = good;
  bad_header[8] = '!';
  EXPECT_EQ(zav::catopen(write_bytes("h.cat", bad_header).c_str(), 0), zav::CATD_FAILED_);
  EXPECT_EQ(zav::catopen(write_bytes("empty.cat", {}).c_str(), 0), zav::CATD_FAILED_);
  EXPECT_EQ(zav::catopen(path("missing.cat").c_str(), 0), zav::CATD_FAILED_);
  EXPECT_EQ(zav::errno_, zav::ENOENT_);

  // Set index offset beyond the trailer.
  auto past_end = good;
  past_end[past_end.size() - 1] = 0x7f;
  EXPECT_EQ(zav::catopen(write_bytes("p.cat", past_end).c_str(), 0), zav::CATD_FAILED_);

  // Every truncation either fails to open or gives defaults; none crashes.
  for (std::size_t cut = 1; cut < good.size(); ++cut) {
    std::vector<unsigned char> part(good.begin(), good.begin() + static_cast<long>(cut));
    zav::nl_catd catd = zav::catopen(write_bytes("cut.cat", part).c_str(), 0);
    if (catd == zav::CATD_FAILED_) continue;
    const char* t = zav::catgets(catd, 1, 2, "dflt");
    EXPECT_TRUE(std::strcmp(t, "dflt") == 0 || std::strcmp(t, "two") == 0) << "cut at " << cut << ": " << t;
    zav::catclose(catd);
  }
}

TEST_F(Catalog, OffsetsOutOfOrderOrPastTheEndGiveDefaults) {
  auto bytes = gencat::build({{1, 1, "one"}, {1, 2, "two"}, {2, 1, "x"}});
  std::size_t s = bytes.size() - 8 - 16;  // the two set-index entries
  auto put = [](std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };

  auto swapped = bytes;  // set 1's index starts after set 2's
  put(swapped, s + 4, 0x7fff0000u);
  zav::nl_catd catd = zav::catopen(write_bytes("o.cat", swapped).c_str(), 0);
  ASSERT_NE(catd, zav::CATD_FAILED_);
  EXPECT_STREQ(zav::catgets(catd, 1, 2, "dflt"), "dflt");
  zav::catclose(catd);

  auto text_past = bytes;  // message 1's text offset beyond the file, message 2's negative
  std::size_t index1 = s - 24;
  put(text_past, index1 + 4, 0x00100000u);
  put(text_past, index1 + 12, 0xfffffff0u);
  catd = zav::catopen(write_bytes("t.cat", text_past).c_str(), 0);
  ASSERT_NE(catd, zav::CATD_FAILED_);
  EXPECT_STREQ(zav::catgets(catd, 1, 1, "d1"), "d1");
  EXPECT_STREQ(zav::catgets(catd, 1, 2, "d2"), "d2");
  EXPECT_STREQ(zav::catgets(catd, 2, 1, "d3"), "x");
  zav::catclose(catd);
}

TEST_F(Catalog, LongTextIsCutAndErrnoIsKept) {
  std::string long_text(3000, 'a');
  zav::nl_catd catd = zav::catopen(write_catalog("l.cat", {{1, 1, long_text}}).c_str(), 0);
  ASSERT_NE(catd, zav::CATD_FAILED_);
  zav::errno_ = 4242;
  EXPECT_EQ(std::strlen(zav::catgets(catd, 1, 1, "d")), 2049u);
  EXPECT_EQ(zav::catgets(catd, 1, 9, "d"), std::string("d"));
  EXPECT_EQ(zav::errno_, 4242);
  zav::catclose(catd);
  EXPECT_EQ(zav::catclose(nullptr), -1);
  EXPECT_EQ(zav::catclose(zav::CATD_FAILED_), -1);
}

// NLSPATH escapes, checked by which file of a set of candidates is found.
TEST_F(Catalog, NlspathEscapesBuildThePaths) {
  std::string d = path("");
  write_catalog("de/DE/ISO8859-1/euro/de_DE.ISO8859-1@euro/zav%%x%.cat", {{1, 1, "x"}});
  set_env({"NLSPATH=" + d + "nothing/%N;" + d + "%l/%t/%c/%m/%L/%N%%%x%%.cat"});
  zav::setlocale(zav::LC_MESSAGES_, "de_DE.ISO8859-1@euro");
  char* found = zav::find_catalog_path("zav", zav::NL_CAT_LOCALE_);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), d + "de/DE/ISO8859-1/euro/de_DE.ISO8859-1@euro/zav%%x%.cat");
  zav::free(found);

  write_catalog("fr/fr---/zav", {{1, 1, "x"}});
  set_env({"NLSPATH=" + d + "%l/%L-%t-%c-%m/%N"});
  zav::setlocale(zav::LC_MESSAGES_, "fr");
  found = zav::find_catalog_path("zav", zav::NL_CAT_LOCALE_);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), d + "fr/fr---/zav");
  zav::free(found);

  // LANG instead of LC_MESSAGES when oflag is 0; none at all gives null.
  set_env({"NLSPATH=" + d + "%l/%L-%t-%c-%m/%N", "LANG=fr"});
  zav::setlocale(zav::LC_MESSAGES_, "de");
  found = zav::find_catalog_path("zav", 0);
  EXPECT_NE(found, nullptr);
  zav::free(found);
  set_env({"NLSPATH=" + d + "%l/%L-%t-%c-%m/%N"});
  EXPECT_EQ(zav::find_catalog_path("zav", 0), nullptr);
}

TEST_F(Catalog, EmptyElementMeansTheBareNameAndLongPathsEndTheSearch) {
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  write_catalog("zavbare", {{1, 1, "x"}});
  set_env({"NLSPATH=;nothing"});
  char* found = zav::find_catalog_path("zavbare", 1);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found, "zavbare");
  zav::free(found);

  // An element reaching 260 characters ends the search before the one that exists.
  set_env({"NLSPATH=" + std::string(260, 'a') + ";;"});
  EXPECT_EQ(zav::find_catalog_path("zavbare", 1), nullptr);
  set_env({"NLSPATH=" + std::string(259, 'a') + ";;"});
  found = zav::find_catalog_path("zavbare", 1);
  EXPECT_NE(found, nullptr);
  zav::free(found);
  std::filesystem::current_path(old);

  // A name with a separator is used as it is, without a search.
  found = zav::find_catalog_path("no/such/file", 1);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found, "no/such/file");
  zav::free(found);
}

}  // namespace
