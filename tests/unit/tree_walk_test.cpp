// The file tree walk: event order, answers, depths and paths, as a removal sees them.
#include <gtest/gtest.h>

#include "scratch_tree.h"

#include <windows.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <zav/errno.h>
#include <zav/stat.h>
#include <zav/tree_walk.h>

#ifndef _WIN32
#include <unistd.h>

#include <winapi_settings.h>
#endif

namespace {

using namespace zav;

class Tree : public ztest::ScratchTree {
 public:
  Tree() : ScratchTree("walk") {}
};

// The names of a directory, in the order of the directory search, without . and ..
std::vector<std::string> reading_order(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA((directory + "\\*.*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return names;
}

struct Event {
  std::string path;
  int event;
  int depth;
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << e.event << "(" << e.path << ")@" << e.depth;
}

struct Answer {
  std::string path;
  int event;
  int answer;
};

// Records every event and answers as told, 0 otherwise.
struct Recorder {
  std::vector<Event> events;
  std::vector<Answer> answers;
  std::vector<uint32_t> types;
};

Recorder* recorder = nullptr;

int record(const char* path, struct stat64_* status, int event, int depth) {
  recorder->events.push_back({path, event, depth});
  recorder->types.push_back(status->st_mode & S_IFMT_);
  for (const Answer& a : recorder->answers)
    if (a.path == path && a.event == event) return a.answer;
  return 0;
}

class TreeWalk : public testing::Test {
 protected:
  Tree tree;
  Recorder rec;

  TreeWalk() {
    recorder = &rec;
    walk_physical = 1;
  }
  ~TreeWalk() override { recorder = nullptr; }

  int walk(const std::string& path) { return tree_walk(path.c_str(), record); }
  void answer(const std::string& path, int event, int value) { rec.answers.push_back({path, event, value}); }
};

TEST_F(TreeWalk, FilesBeforeSubdirectoriesAndEachDirectoryBeforeAndAfter) {
  const std::string d = tree.dir("D");
  tree.file("D/f1");
  tree.dir("D/S");
  tree.file("D/f2");
  tree.file("D/S/g");
  tree.dir("D/T");

  std::vector<Event> expected = {{d, WALK_DIR_PRE, 0}, {d, WALK_DIR_OPENED, 0}};
  std::vector<std::string> subdirectories;
  for (const std::string& name : reading_order(d)) {
    if (name[0] == 'f') expected.push_back({d + "/" + name, WALK_NONDIR, 1});
    else subdirectories.push_back(name);
  }
  ASSERT_EQ(expected.size(), 4u);
  for (const std::string& name : subdirectories) {
    const std::string s = d + "/" + name;
    expected.push_back({s, WALK_DIR_PRE, 1});
    expected.push_back({s, WALK_DIR_OPENED, 1});
    if (name == "S") expected.push_back({s + "/g", WALK_NONDIR, 2});
    expected.push_back({s, WALK_DIR_POST, 1});
  }
  expected.push_back({d, WALK_DIR_POST, 0});

  EXPECT_EQ(walk(d), 0);
  EXPECT_EQ(rec.events, expected);
  for (std::size_t i = 0; i < rec.events.size(); ++i) {
    const uint32_t want = rec.events[i].event == WALK_NONDIR ? S_IFREG_ : S_IFDIR_;
    EXPECT_EQ(rec.types[i], want) << rec.events[i];
  }
  EXPECT_EQ(walk_path, nullptr) << "the path buffer is released";
}

TEST_F(TreeWalk, EmptyDirectoryGivesPreOpenedPost) {
  const std::string d = tree.dir("empty");
  EXPECT_EQ(walk(d), 0);
  EXPECT_EQ(rec.events,
            (std::vector<Event>{{d, WALK_DIR_PRE, 0}, {d, WALK_DIR_OPENED, 0}, {d, WALK_DIR_POST, 0}}));
}

TEST_F(TreeWalk, SingleEventStartsReturnTheAnswerUnchanged) {
  const std::string file = tree.file("file");
  const std::string missing = tree.root() + "/missing";
  struct Case {
    std::string path;
    int event;
    int answer;
  };
  const Case cases[] = {
      {file, WALK_NONDIR, 0},    {file, WALK_NONDIR, 1},    {file, WALK_NONDIR, -1},
      {missing, WALK_NO_STATUS, 0}, {missing, WALK_NO_STATUS, 1}, {missing, WALK_NO_STATUS, -1},
  };
  for (const Case& c : cases) {
    rec = Recorder{};
    answer(c.path, c.event, c.answer);
    EXPECT_EQ(walk(c.path), c.answer) << c.path << " answered " << c.answer;
    EXPECT_EQ(rec.events, (std::vector<Event>{{c.path, c.event, 0}})) << c.path;
  }
}

TEST_F(TreeWalk, AnswersAtPreAndOpenedEventsOfTheStart) {
  const std::string d = tree.dir("D");
  tree.file("D/f");
  struct Case {
    int event;
    int answer;
    int result;
  };
  const Case cases[] = {
      {WALK_DIR_PRE, WALK_PRUNE, 0},    {WALK_DIR_PRE, WALK_PRUNE_FAILED, 1},    {WALK_DIR_PRE, WALK_ABORT, -1},
      {WALK_DIR_OPENED, WALK_PRUNE, 0}, {WALK_DIR_OPENED, WALK_PRUNE_FAILED, 1}, {WALK_DIR_OPENED, WALK_ABORT, -1},
  };
  for (const Case& c : cases) {
    rec = Recorder{};
    answer(d, c.event, c.answer);
    EXPECT_EQ(walk(d), c.result) << "answer " << c.answer << " at event " << c.event;
    std::vector<Event> expected = {{d, WALK_DIR_PRE, 0}};
    if (c.event == WALK_DIR_OPENED) expected.push_back({d, WALK_DIR_OPENED, 0});
    EXPECT_EQ(rec.events, expected) << "answer " << c.answer << " at event " << c.event;
  }
}

TEST_F(TreeWalk, AnswersForASubdirectoryAndTheFailureAnswer) {
  const std::string d = tree.dir("D");
  const std::string s = tree.dir("D/S");
  tree.file("D/S/g");
  struct Case {
    int event;
    int answer;
    int result;
    bool parent_post;  // the parent still gets its event 4
  };
  const Case cases[] = {
      {WALK_DIR_PRE, WALK_PRUNE, 0, true},    {WALK_DIR_PRE, WALK_PRUNE_FAILED, 1, true},
      {WALK_DIR_PRE, WALK_ABORT, -1, false},  {WALK_DIR_OPENED, WALK_PRUNE, 0, true},
      {WALK_DIR_OPENED, WALK_PRUNE_FAILED, 1, true}, {WALK_DIR_OPENED, WALK_ABORT, -1, false},
      {WALK_DIR_PRE, -3, 0, true},            {WALK_DIR_PRE, 1, 1, true},
  };
  for (const Case& c : cases) {
    rec = Recorder{};
    answer(s, c.event, c.answer);
    EXPECT_EQ(walk(d), c.result) << "answer " << c.answer << " at event " << c.event;
    std::vector<Event> expected = {{d, WALK_DIR_PRE, 0}, {d, WALK_DIR_OPENED, 0}, {s, WALK_DIR_PRE, 1}};
    const bool goes_on = c.answer == -3 || c.answer == 1;
    if (c.event == WALK_DIR_OPENED || goes_on) expected.push_back({s, WALK_DIR_OPENED, 1});
    if (goes_on) {
      expected.push_back({s + "/g", WALK_NONDIR, 2});
      expected.push_back({s, WALK_DIR_POST, 1});
    }
    if (c.parent_post) expected.push_back({d, WALK_DIR_POST, 0});
    EXPECT_EQ(rec.events, expected) << "answer " << c.answer << " at event " << c.event;
  }
}

TEST_F(TreeWalk, FailureAnswersAtFileAndPostEventsCountButTheWalkGoesOn) {
  const std::string d = tree.dir("D");
  const std::string a = tree.file("D/a");
  tree.file("D/b");
  answer(a, WALK_NONDIR, 1);
  EXPECT_EQ(walk(d), 1);
  EXPECT_EQ(rec.events.size(), 5u) << "both files and the directory's post event";

  rec = Recorder{};
  answer(d, WALK_DIR_POST, 1);
  EXPECT_EQ(walk(d), 1);
  rec = Recorder{};
  answer(d, WALK_DIR_POST, -1);
  EXPECT_EQ(walk(d), 0) << "only 1 counts after the directory's contents";
  rec = Recorder{};
  answer(a, WALK_NONDIR, -1);
  EXPECT_EQ(walk(d), -1);
  EXPECT_EQ(rec.events.back(), (Event{a, WALK_NONDIR, 1})) << "nothing after an abort";
}

// A start padded with "/." to 250 characters: an entry name of 9 characters
// makes an entry path the stream cannot give a status for (259), a
// subdirectory's path is longer than opendir takes.
std::string padded(const std::string& directory, std::size_t length) {
  std::string path = directory;
  if ((length - path.size()) % 2 != 0) path += '/';
  while (path.size() < length) path += "/.";
  return path;
}

TEST_F(TreeWalk, EntryWithoutStatusAnsweredOneCountsAndTheWalkGoesOn) {
  const std::string d = tree.dir("D");
  tree.file("D/123456789");
  tree.file("D/short");
  const std::string start = padded(d, 249);
  const std::string lost = start + "/123456789";
  answer(lost, WALK_NO_STATUS, 1);
  EXPECT_EQ(walk(start), 1);
  ASSERT_EQ(rec.events.size(), 5u);
  EXPECT_EQ(rec.events.back(), (Event{start, WALK_DIR_POST, 0}));
  EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), Event{lost, WALK_NO_STATUS, 1}), rec.events.end());
  EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), Event{start + "/short", WALK_NONDIR, 1}),
            rec.events.end());

  rec = Recorder{};
  EXPECT_EQ(walk(start), 0) << "answer 0: the entry is left alone, no failure";
  EXPECT_EQ(rec.events.size(), 5u);
}

TEST_F(TreeWalk, DirectoryThatCannotBeOpenedGivesOneUnreadableEvent) {
  const std::string d = tree.dir("D");
  tree.dir("D/abcdefg");
  const std::string start = padded(d, 249);
  const std::string sub = start + "/abcdefg";  // 257 characters
  answer(sub, WALK_DIR_UNREADABLE, 1);
  EXPECT_EQ(walk(start), 1);
  EXPECT_EQ(rec.events, (std::vector<Event>{{start, WALK_DIR_PRE, 0},
                                            {start, WALK_DIR_OPENED, 0},
                                            {sub, WALK_DIR_PRE, 1},
                                            {sub, WALK_DIR_UNREADABLE, 1},
                                            {start, WALK_DIR_POST, 0}}));
}

TEST_F(TreeWalk, StartPathFormsJoinNamesWithoutDoubleSeparators) {
  const std::string d = tree.dir("D");
  tree.file("D/f");
  for (const std::string& start : {d + "/", d + "\\"}) {
    rec = Recorder{};
    EXPECT_EQ(walk(start), 0);
    ASSERT_EQ(rec.events.size(), 4u) << start;
    EXPECT_EQ(rec.events[0].path, d + "/") << "the start is normalised";
    EXPECT_EQ(rec.events[2], (Event{d + "/f", WALK_NONDIR, 1}));
  }
}

TEST_F(TreeWalk, BareDriveStartGivesDriveRelativeNames) {
  tree.file("f");
  tree.dir("S");
  tree.file("S/g");
#ifdef _WIN32
  // Under Wine the current drive, after changing into the tree.
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(tree.root().c_str()));
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  const std::string drive = std::string(1, static_cast<char>(current[0] | 0x20)) + ":";
#else
  // The host layer keeps no per-drive directories: a drive mapped onto the tree.
  ASSERT_TRUE(SetEnvironmentVariableA("WINAPI_DRIVE_Q", tree.root().c_str()));
  ASSERT_TRUE(SetEnvironmentVariableA("=Q:", "Q:\\"));
  const std::string drive = "q:";
#endif
  const int result = walk(drive);
#ifdef _WIN32
  SetCurrentDirectoryA(saved);
#else
  SetEnvironmentVariableA("WINAPI_DRIVE_Q", nullptr);
  SetEnvironmentVariableA("=Q:", nullptr);
#endif
  EXPECT_EQ(result, 0);
  EXPECT_EQ(rec.events, (std::vector<Event>{{drive, WALK_DIR_PRE, 0},
                                            {drive, WALK_DIR_OPENED, 0},
                                            {drive + "f", WALK_NONDIR, 1},
                                            {drive + "S", WALK_DIR_PRE, 1},
                                            {drive + "S", WALK_DIR_OPENED, 1},
                                            {drive + "S/g", WALK_NONDIR, 2},
                                            {drive + "S", WALK_DIR_POST, 1},
                                            {drive, WALK_DIR_POST, 0}}));
}

#ifndef _WIN32
// Wine 8 shows no reparse points, so links are a host-only case.
TEST_F(TreeWalk, PhysicalWalkReportsALinkAsANonDirectoryAndNeverEntersIt) {
  Tree outside;
  const std::string target = outside.dir("target");
  outside.file("target/secret");
  const std::string d = tree.dir("D");
  const std::string link = tree.link("D/link", target);
  EXPECT_EQ(walk(d), 0);
  EXPECT_EQ(rec.events, (std::vector<Event>{{d, WALK_DIR_PRE, 0},
                                            {d, WALK_DIR_OPENED, 0},
                                            {link, WALK_NONDIR, 1},
                                            {d, WALK_DIR_POST, 0}}));
  ASSERT_EQ(rec.types.size(), 4u);
  EXPECT_EQ(rec.types[2], S_IFLNK_);

  // Without the physical flag the link's status is its target's, a directory;
  // but the walk enters only a directory whose own handle shows no reparse
  // point, so it finds this one unreadable and reports nothing of the target.
  rec = Recorder{};
  walk_physical = 0;
  EXPECT_EQ(walk(d), 0);
  EXPECT_EQ(rec.events, (std::vector<Event>{{d, WALK_DIR_PRE, 0},
                                            {d, WALK_DIR_OPENED, 0},
                                            {link, WALK_DIR_PRE, 1},
                                            {link, WALK_DIR_UNREADABLE, 1},
                                            {d, WALK_DIR_POST, 0}}));
}

TEST_F(TreeWalk, NoMemoryForThePathFailsTheWalkWithoutEvents) {
  const std::string d = tree.dir("D");
  WinapiSetHeapFailAt(1);
  const int result = walk(d);
  WinapiSetHeapFailAt(0);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(rec.events.empty());
}
#endif

}  // namespace
