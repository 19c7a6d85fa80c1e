// eprintf and print_usage: the line they write to the standard error stream.
#include "catalog_fixture.h"

#include <fstream>
#include <sstream>

#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/fcntl.h>
#include <zav/getopt.h>
#include <zav/stdio.h>
#include <zav/string.h>
#include <zav/unistd.h>

namespace {

// Sends descriptor 2 to a file while alive; text() gives what was written.
class StderrCapture {
 public:
  explicit StderrCapture(std::string file) : file_(std::move(file)) {
    zav::fflush(zav::stderr_);
    saved_ = zav::fcntl(2, zav::F_DUPFD_, 20);
    int fd = zav::open(file_.c_str(), zav::O_WRONLY_ | zav::O_CREAT_ | zav::O_TRUNC_, 0644);
    zav::dup2(fd, 2);
    zav::close(fd);
  }
  std::string text() {
    zav::fflush(zav::stderr_);
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  ~StderrCapture() {
    zav::fflush(zav::stderr_);
    zav::dup2(saved_, 2);
    zav::close(saved_);
  }

 private:
  std::string file_;
  int saved_;
};

class Diagnostics : public CatalogFixture {
 protected:
  void TearDown() override {
    zav::utility_name = nullptr;
    CatalogFixture::TearDown();
  }
  // The standard error stream's line end: CR LF in the Windows build's text mode.
  static std::string nl() {
#ifdef _WIN32
    return "\r\n";
#else
    return "\n";
#endif
  }
};

TEST_F(Diagnostics, EprintfWritesNameMessageAndErrorText) {
  StderrCapture cap(path("err.txt"));
  std::string t2 = zav::strerror(2);
  std::string t0 = zav::strerror(0);
  zav::utility_name = "rm";
  zav::errno_ = 2;
  int n = zav::eprintf("cannot unlink entry \"%s\"", "a b");
  EXPECT_EQ(zav::errno_, 2);
  zav::utility_name = nullptr;
  zav::errno_ = 0;
  zav::eprintf("plain %d", 7);
  zav::errno_ = zav::ENOTEMPTY_;
  zav::eprintf("x");
  EXPECT_EQ(cap.text(), "rm: cannot unlink entry \"a b\": " + t2 + nl() + "plain 7: " + t0 + nl() +
                            "x: directory not empty" + nl());
  EXPECT_EQ(n, static_cast<int>(std::string("rm: cannot unlink entry \"a b\": ").size() + t2.size() + 1));
}

TEST_F(Diagnostics, EmptyErrorTextGivesTheNumber) {
  write_catalog("de/zav.cat", {{1, 641, ""}, {1, 699, ""}, {1, 3195, "kann \"%s\" nicht entfernen"}});
  set_env({"NLSPATH=" + path("%L/%N.cat")});
  zav::setlocale(zav::LC_MESSAGES_, "de");
  StderrCapture cap(path("err.txt"));
  zav::utility_name = "rmdir";
  zav::errno_ = -1;
  zav::eprintf("%s", "eins");
  zav::errno_ = zav::ENOTEMPTY_;
  // The message lies in the lookup buffer that the error text's lookup reuses.
  zav::eprintf(zav::text_message(3195, "cannot unlink entry \"%s\"", "E filename"), "f");
  EXPECT_EQ(zav::errno_, zav::ENOTEMPTY_);
  EXPECT_EQ(cap.text(), "rmdir: eins: error -1" + nl() + "rmdir: kann \"f\" nicht entfernen: error -8" + nl());
}

TEST_F(Diagnostics, PrintUsageWritesTheTextUnchanged) {
  StderrCapture cap(path("err.txt"));
  zav::utility_name = "rm";
  EXPECT_GE(zav::print_usage("Usage: 100% %s\n"), 0);
  EXPECT_EQ(cap.text(), "Usage: 100% %s" + nl());
}

}  // namespace
