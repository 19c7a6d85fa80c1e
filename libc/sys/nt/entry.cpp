// The C entry point of a program: hands the process to the runtime, which builds
// its own argument vector from the Win32 command line.
#include <zav/startup.h>

int main() { zav::_cmain(); }
