// Streams: when buffered output reaches the file, text-mode line ends, fgets,
// and the prompt flushed before a read.
#include <gtest/gtest.h>

#include <string>

#include <zav/errno.h>
#include <zav/fcntl.h>
#include <zav/stdio.h>
#include <zav/unistd.h>

#include "scratch_dir.h"

namespace {

using namespace zav;

// What a text-mode stream writes for a line end, and reads back for CR LF.
#ifdef _WIN32
const std::string nl = "\r\n";
const std::string crlf_read = "\n";
#else
const std::string nl = "\n";
const std::string crlf_read = "\r\n";
#endif

// Points a standard descriptor at a file for the life of the object.
class Redirect {
 public:
  Redirect(int fd, const std::string& path) : fd_(fd) {
    saved_ = zav::fcntl(fd, F_DUPFD_, 30);
    const int file = zav::open(path.c_str(), O_RDWR_ | O_CREAT_ | O_TRUNC_, 0666);
    zav::dup2(file, fd);
    zav::close(file);
  }
  ~Redirect() {
    zav::dup2(saved_, fd_);
    zav::close(saved_);
  }

 private:
  int fd_;
  int saved_;
};

class Streams : public testing::Test {
 protected:
  ztest::ScratchDir dir;

  Stream* stream_on(const std::string& path, int flags, const char* mode) {
    const int fd = zav::open(path.c_str(), flags, 0666);
    return fd < 0 ? nullptr : zav::fdopen(fd, mode);
  }
};

TEST_F(Streams, FullyBufferedOutputWaitsForFlushOrAFullBuffer) {
  const std::string name = dir.file("full");
  Stream* s = stream_on(name, O_WRONLY_ | O_CREAT_, "w");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(fputs("line one\n", s), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(name), "") << "a newline does not flush a file stream";
  EXPECT_EQ(fflush(s), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(name), "line one\n") << "binary streams keep a bare LF";

  const std::string block(1500, 'b');
  EXPECT_EQ(fputs(block.c_str(), s), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(name).size(), 9u + 1024u) << "one full 1024-byte buffer went out";
  const int fd = fileno(s);
  EXPECT_EQ(fclose(s), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(name), "line one\n" + block);
  EXPECT_EQ(zav::close(fd), -1) << "fclose closes the descriptor";
}

TEST_F(Streams, StderrIsLineBufferedAndTranslatesLineEnds) {
  const std::string name = dir.file("err");
  {
    Redirect redirect(2, name);
    EXPECT_EQ(fputs("ab", stderr_), 0);
    EXPECT_EQ(ztest::ScratchDir::contents(name), "");
    EXPECT_EQ(fputs("c\nd", stderr_), 0);
    EXPECT_EQ(ztest::ScratchDir::contents(name), "abc" + nl + "d");
    EXPECT_EQ(fflush(stderr_), 0);
  }
}

TEST_F(Streams, StdoutTextModeAndFormattedOutput) {
  const std::string name = dir.file("out");
  const std::string long_text(3000, 'L');
  {
    Redirect redirect(1, name);
    EXPECT_EQ(fputs("abc\n", stdout_), 0);
    EXPECT_EQ(zav::puts("p"), 0);
    EXPECT_EQ(fputc('z', stdout_), 'z');
    EXPECT_EQ(zav::printf("%d-%s|", 42, "x"), 5);
    EXPECT_EQ(fprintf(stdout_, "%s\n", long_text.c_str()), 3001) << "longer than the local buffer";
    EXPECT_EQ(fflush(stdout_), 0);
  }
  EXPECT_EQ(ztest::ScratchDir::contents(name), "abc" + nl + "p" + nl + "z42-x|" + long_text + nl);
}

TEST_F(Streams, ALongWriteFillsWholeBuffersAndTranslatesLineEndsAcrossTheirEdges) {
  const std::string name = dir.file("runs");
  std::string lines, expected;
  for (int i = 0; i < 700; ++i) {
    lines += "x\n";
    expected += "x" + nl;
  }
  {
    Redirect redirect(1, name);
    EXPECT_EQ(fputs(lines.c_str(), stdout_), 0);
    const std::size_t full_buffers = expected.size() / STREAM_BUFFER_SIZE * STREAM_BUFFER_SIZE;
    EXPECT_EQ(ztest::ScratchDir::contents(name), expected.substr(0, full_buffers));
    EXPECT_EQ(fflush(stdout_), 0);
  }
  EXPECT_EQ(ztest::ScratchDir::contents(name), expected);
}

TEST_F(Streams, FgetsReadsLinesAcrossCrLfAndBufferEdges) {
  // The CR LF of the first line straddles the first 1024-byte read.
  const std::string first(1023, 'x');
  const std::string name = dir.write("in", first + "\r\ntwo\r\nlone\rcr\r\nlast");
  Stream* text = stream_on(name, O_RDONLY_, "rt");
  ASSERT_NE(text, nullptr);
  char line[2048];
  ASSERT_NE(fgets(line, sizeof line, text), nullptr);
  EXPECT_EQ(std::string(line), first + crlf_read);
  ASSERT_NE(fgets(line, sizeof line, text), nullptr);
  EXPECT_EQ(std::string(line), "two" + crlf_read);
  ASSERT_NE(fgets(line, sizeof line, text), nullptr);
  EXPECT_EQ(std::string(line), "lone\rcr" + crlf_read) << "a CR without LF stays";
  ASSERT_NE(fgets(line, 3, text), nullptr);
  EXPECT_EQ(std::string(line), "la") << "a short buffer takes what fits";
  ASSERT_NE(fgets(line, sizeof line, text), nullptr);
  EXPECT_EQ(std::string(line), "st");
  EXPECT_EQ(fgets(line, sizeof line, text), nullptr);
  EXPECT_EQ(feof(text), 1);
  EXPECT_EQ(ferror(text), 0);
  EXPECT_EQ(fclose(text), 0);

  Stream* binary = stream_on(name, O_RDONLY_, "r");
  ASSERT_NE(binary, nullptr);
  ASSERT_NE(fgets(line, sizeof line, binary), nullptr);
  EXPECT_EQ(std::string(line), first + "\r\n") << "binary streams keep the CR";
  EXPECT_EQ(fclose(binary), 0);
}

TEST_F(Streams, AnUnfinishedPromptIsShownBeforeARead) {
  const std::string prompt_file = dir.file("prompt");
  const std::string pending_file = dir.file("pending");
  const std::string answer = dir.write("answer", "yes\n");
  Redirect redirect(2, prompt_file);
  Stream* pending = stream_on(pending_file, O_WRONLY_ | O_CREAT_, "w");
  ASSERT_NE(pending, nullptr);
  EXPECT_EQ(fputs("partial", pending), 0);
  EXPECT_EQ(fputs("remove x? ", stderr_), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(prompt_file), "");

  Stream* in = stream_on(answer, O_RDONLY_, "r");
  ASSERT_NE(in, nullptr);
  char line[16];
  ASSERT_NE(fgets(line, sizeof line, in), nullptr);
  EXPECT_EQ(ztest::ScratchDir::contents(prompt_file), "remove x? ");
  EXPECT_EQ(ztest::ScratchDir::contents(pending_file), "") << "only line-buffered streams are flushed";
  EXPECT_EQ(fclose(in), 0);
  EXPECT_EQ(fclose(pending), 0);
  EXPECT_EQ(ztest::ScratchDir::contents(pending_file), "partial");
}

TEST_F(Streams, WrongDirectionAndBadDescriptors) {
  const std::string name = dir.write("ro", "data");
  Stream* in = stream_on(name, O_RDONLY_, "r");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(fputs("no", in), EOF_);
  EXPECT_EQ(ferror(in), 1);
  EXPECT_EQ(fclose(in), 0);

  errno_ = 0;
  EXPECT_EQ(zav::fdopen(57, "r"), nullptr);
  EXPECT_EQ(errno_, EBADF_);
}

TEST_F(Streams, TheTableHoldsTwentyEightMoreStreams) {
  const std::string name = dir.write("many", "");
  Stream* streams[28];
  int opened = 0;
  for (Stream*& s : streams) {
    s = stream_on(name, O_RDONLY_, "r");
    if (s != nullptr) ++opened;
  }
  EXPECT_EQ(opened, 28);
  const int fd = zav::open(name.c_str(), O_RDONLY_);
  errno_ = 0;
  EXPECT_EQ(zav::fdopen(fd, "r"), nullptr);
  EXPECT_EQ(errno_, EMFILE_);
  zav::close(fd);
  for (Stream* s : streams)
    if (s != nullptr) fclose(s);
}

}  // namespace
