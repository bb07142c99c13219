#pragma once

#include <optional>

namespace tollvik {

// The window's own options, answered before any window or display is needed: --help (what the
// program does and which program folder it uses, and why) and --version. Returns the exit code
// when one of them was given; otherwise nothing, and the window starts. Other arguments are
// left to the toolkit, as before.
[[nodiscard]] std::optional<int> answerInformationOptions(int argc, char* argv[]);

} // namespace tollvik
