// Settings files that did not load, kept beside the settings file instead of being
// overwritten: path + ".bad", then ".bad2", ".bad3", ... (the highest number is the
// newest). The names keep their dots, so the data-folder clean-up leaves them alone.
#pragma once

#include <string>

namespace lumexia {

// How many set-aside copies are kept; the oldest go first.
constexpr size_t kSetAsideKept = 5;

// Moves the file at `path` to the next free set-aside name, never over an earlier copy,
// then removes the oldest copies beyond kSetAsideKept. True when there was no file to
// keep, or it was kept.
bool SetAsideUnreadable(const std::wstring& path);

// Removes every set-aside copy of `path`; true when none is left.
bool RemoveSetAsideCopies(const std::wstring& path);

} // namespace lumexia
