// Standard streams through real redirection: prompts, answers and line ends.
#include <cstring>

#include <zav/startup.h>
#include <zav/stdio.h>
#include <zav/unistd.h>

int zav::main(int argc, char** argv, char**) {
  using namespace zav;
  const char* how = argc > 1 ? argv[1] : "";
  if (std::strcmp(how, "ask") == 0) {
    // The prompt has no newline; it must still precede the read of the answer.
    fputs("remove file? ", stderr_);
    char answer[64];
    while (fgets(answer, sizeof answer, stdin_) != nullptr) {
      printf("[%s]", answer);
      fputs("again? ", stderr_);
    }
    return 0;
  }
  if (std::strcmp(how, "lines") == 0) {
    puts("one");
    fputs("two\n", stdout_);
    fprintf(stderr_, "err %d\n", 3);
    return 0;
  }
  if (std::strcmp(how, "isatty") == 0) {
    printf("%d %d %d\n", isatty(0), isatty(1), isatty(2));
    return 0;
  }
  if (std::strcmp(how, "close2") == 0) {
    // Descriptor 2 is a handle of its own, so closing it leaves stdout working.
    printf("close %d\n", close(2));
    return 0;
  }
  return 2;
}
