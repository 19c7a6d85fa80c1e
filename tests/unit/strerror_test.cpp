// strerror: the runtime's own values from the one table, other negatives, Win32 codes.
#include "catalog_fixture.h"

#include <cstring>

#include <zav/errno.h>
#include <zav/string.h>

namespace {

class Strerror : public CatalogFixture {};

TEST_F(Strerror, OwnValuesComeFromTheTable) {
  ASSERT_EQ(zav::own_error_bound, 9);
  for (int i = 0; i <= zav::own_error_bound; ++i) {
    const auto& row = zav::own_error_values[i];
    EXPECT_EQ(row.value, -1 - i) << row.name;
    EXPECT_STREQ(zav::strerror(row.value), row.default_text) << row.name;
  }
  EXPECT_STREQ(zav::strerror(zav::ENAMETOOLONG_), "name too long");
  EXPECT_STREQ(zav::strerror(zav::ENOSYS_), "function not supported");
  EXPECT_STREQ(zav::strerror(zav::EINTR_), "interrupt");
  EXPECT_STREQ(zav::own_error_values[8].stored_text, "0##function not supported");
  EXPECT_STREQ(zav::strerror(-11), "Unknown error #fffffff5");
  EXPECT_STREQ(zav::strerror(-0x7fffffff - 1), "Unknown error #80000000");
}

TEST_F(Strerror, CatalogTranslatesOwnValuesAndCutsLongResults) {
  write_catalog("de/zav.cat", {{1, 4029, "Name zu lang"},
                               {1, 0, "nicht unterstuetzt"},
                               {1, 5785, "Ein sehr langer unbekannter Fehler Nummer %x"}});
  set_env({"NLSPATH=" + path("%L/%N.cat")});
  zav::setlocale(zav::LC_MESSAGES_, "de");
  EXPECT_STREQ(zav::strerror(-2), "Name zu lang");
  EXPECT_STREQ(zav::strerror(-9), "nicht unterstuetzt");
  EXPECT_STREQ(zav::strerror(-3), "illegal seek");
  EXPECT_EQ(std::string(zav::strerror(-11)), std::string("Ein sehr langer unbekannter Fehler Nummer %x").substr(0, 27));
}

TEST_F(Strerror, Win32CodesGetSystemTexts) {
  EXPECT_STREQ(zav::strerror(1106), "Unsupported block size on write, or incorrect block size on read");
  for (int code : {0, 2, 3, 5, 32, 145, 2100, 10000, 12000}) {
    std::string text = zav::strerror(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find('\n'), std::string::npos) << code << ": " << text;
  }
  EXPECT_NE(std::string(zav::strerror(2)), std::string(zav::strerror(5)));
  EXPECT_STREQ(zav::strerror(0x3fffffff), "Unknown error");
}

}  // namespace
