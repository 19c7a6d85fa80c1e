// isyes: the POSIX locale's anchored answer expressions, compiled again after a locale change.
#include <gtest/gtest.h>

#include <zav/isyes.h>
#include <zav/locale.h>

namespace {

TEST(Isyes, AnswersAreJudgedByTheirFirstCharacter) {
  struct Case {
    const char* answer;
    int expected;
  } cases[] = {{"y\n", 1}, {"Y\n", 1}, {"Yes please", 1}, {"n\n", 0}, {"No", 0},
               {"\n", -1}, {"", -1},   {" y", -1},        {"ok\n", -1}, {"\ny", -1}};
  for (const auto& c : cases) EXPECT_EQ(zav::isyes(c.answer), c.expected) << '"' << c.answer << '"';
}

TEST(Isyes, CompiledAgainAfterMessagesLocaleChangesName) {
  auto& flags = zav::locale_categories[zav::LC_MESSAGES_].flags;
  zav::isyes("y");
  EXPECT_NE(flags & zav::YESNO_COMPILED_FLAG, 0);
  zav::setlocale(zav::LC_MESSAGES_, zav::setlocale(zav::LC_MESSAGES_, nullptr));
  EXPECT_NE(flags & zav::YESNO_COMPILED_FLAG, 0);  // same name: nothing changed
  zav::setlocale(zav::LC_MESSAGES_, "xx_isyes");
  EXPECT_EQ(flags & zav::YESNO_COMPILED_FLAG, 0);
  EXPECT_EQ(zav::isyes("y\n"), 1);
  EXPECT_EQ(zav::isyes("n\n"), 0);
  EXPECT_NE(flags & zav::YESNO_COMPILED_FLAG, 0);
  zav::setlocale(zav::LC_ALL_, "POSIX");
}

}  // namespace
