// Buffered streams over descriptors: the stream table and the standard streams.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace zav {

class Stream;

inline constexpr int EOF_ = -1;
inline constexpr int STREAM_TABLE_SIZE = 31;
inline constexpr std::size_t STREAM_BUFFER_SIZE = 1024;

extern Stream* const stdin_;
extern Stream* const stdout_;
extern Stream* const stderr_;

// Builds the stream table: the three standard streams on descriptors 0 to 2 and
// 28 closed slots; creates stdio_lock. Calls abort when the table cannot be allocated.
void init_stream_table();

// A stream on an open descriptor in a free slot (3 to 30). `mode` as in C
// ("r", "w", "a", "+"), with "t" for text mode; binary otherwise.
Stream* fdopen(int fd, const char* mode);

int fputc(int c, Stream* stream);
int fputs(const char* text, Stream* stream);
int puts(const char* text);
int fprintf(Stream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int vfprintf(Stream* stream, const char* format, va_list args);
int printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
char* fgets(char* buffer, int size, Stream* stream);
int fflush(Stream* stream);
int fclose(Stream* stream);
int fileno(Stream* stream);
int feof(Stream* stream);
int ferror(Stream* stream);

}  // namespace zav
