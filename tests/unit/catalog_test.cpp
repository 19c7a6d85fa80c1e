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

// One word of a good catalog changed: an index or text offset that does not lie
// inside the file (or lies in its header) gives the default, never the bytes
// found at another place. The catalog holds "one" and "two" in set 1, "x" in set 2.
TEST_F(Catalog, OffsetsOutsideTheFileGiveDefaults) {
  const auto good = gencat::build({{1, 1, "one"}, {1, 2, "two"}, {2, 1, "x"}});
  const std::size_t set_index = good.size() - 8 - 16;  // the two set-index entries
  const std::size_t set1_index = set_index - 24, set2_index = set_index - 8;
  const std::size_t text1 = set1_index + 4, text2 = set1_index + 12, set1 = set_index + 4, set2 = set_index + 12;
  const std::size_t trailer_s = good.size() - 4;
  const struct {
    std::size_t at;
    std::uint32_t value;
    const char* one;  // what set 1, message 1 gives; "d" is the default
    const char* two;
    const char* x;
  } cases[] = {
      {text1, 0xffffffffu, "d", "two", "x"},     // -1: a failed seek equals it
      {text1, 0xfffffff0u, "d", "two", "x"},
      {text1, 0x80000000u, "d", "two", "x"},
      {text1, 0x00100000u, "d", "two", "x"},     // past the end
      {text1, 0, "d", "two", "x"},               // the header
      {text2, static_cast<std::uint32_t>(good.size()), "one", "d", "x"},
      {set2_index + 4, 0xffffffffu, "one", "two", "d"},
      {set1, 0xffffffffu, "d", "d", "x"},
      {set1, 0x7fff0000u, "d", "d", "x"},        // after set 2's index
      {set1, 0, "d", "d", "x"},
      {set2, 0xffffffffu, "d", "d", "d"},        // set 1's index would end past the set index
      {set2, static_cast<std::uint32_t>(set_index + 8), "d", "d", "d"},
      {trailer_s, 0xffffffffu, "d", "d", "d"},
      {trailer_s, 4, "d", "d", "d"},
  };
  for (const auto& c : cases) {
    auto bytes = good;
    for (int i = 0; i < 4; ++i) bytes[c.at + i] = static_cast<unsigned char>(c.value >> (8 * i));
    zav::nl_catd catd = zav::catopen(write_bytes("o.cat", bytes).c_str(), 0);
    SCOPED_TRACE(testing::Message() << "word at " << c.at << " set to " << std::hex << c.value);
    // A first lookup of another message leaves the file somewhere a failed seek would read from.
    zav::catgets(catd, 2, 1, "d");
    EXPECT_STREQ(zav::catgets(catd, 1, 1, "d"), c.one);
    EXPECT_STREQ(zav::catgets(catd, 1, 2, "d"), c.two);
    EXPECT_STREQ(zav::catgets(catd, 2, 1, "d"), c.x);
    if (catd != zav::CATD_FAILED_) zav::catclose(catd);
  }
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
