// The per-user data folder and the names of the files in it. Both the client and the
// Explorer extension link this code, so the two deliverables agree on names and format.
#pragma once

#include <string>

namespace lumexia {

// Local application data + "\lumexia\", created on every call (failure ignored).
// Empty when the shell cannot name the folder: names built on it are then relative.
std::wstring DataFolder();

// A fresh GUID as 32 upper-case hexadecimal digits; empty when no GUID can be made.
std::wstring NewHexId();

// Deletes task files and prepared pictures from the data folder: every entry whose name
// has no '.' and is longer than two characters. The settings file survives by its dot.
void CleanDataFolder();

// True for a data-folder entry that CleanDataFolder treats as its own.
bool IsDisposableName(const wchar_t* name);

} // namespace lumexia
