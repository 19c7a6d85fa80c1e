// Confirmation answers.
#pragma once

namespace zav {

// 1 when `answer` matches the locale's affirmative expression, else 0 when it
// matches the negative one, else -1.
int isyes(const char* answer);

}  // namespace zav
