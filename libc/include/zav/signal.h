// Signals: the default action ends the process with status 256 + n.
#pragma once

namespace zav {

inline constexpr int SIGINT_ = 2;
inline constexpr int SIGABRT_ = 6;
inline constexpr int SIGPIPE_ = 13;
inline constexpr int SIGTERM_ = 15;
inline constexpr int NSIG_ = 33;

int raise(int sig);

}  // namespace zav
