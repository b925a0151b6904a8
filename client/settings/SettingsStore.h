// The settings file "config2.txt" in the per-user data folder: a `settings` element whose
// `setting` children carry `name` and `value`. Every user creates a document
// (CreateXmlDocument), opens it, reads or writes keys, saves, and releases it; no document
// outlives one operation. Main (user-interface) thread only.
#pragma once

#include "settings/XmlDocument.h"

#include <string>

namespace lumexia {

// Data folder + "config2.txt" (the folder is created when missing); empty when the shell
// cannot name the data folder.
std::wstring SettingsFilePath();

// Loads the settings file into `doc`; a missing, unreadable or malformed file gives the
// empty default document instead. A file that is there but does not load is first kept
// as "config2.txt.bad" (or the next free number, see SetAside.h). False when that cannot
// be done, or the default document cannot be parsed.
bool OpenSettings(IXMLDOMDocument* doc);
// The same for an explicit file path.
bool OpenSettingsFile(IXMLDOMDocument* doc, const std::wstring& path);

// Value of the first `setting` named `key`; false when there is none or it has no
// `value` attribute. An empty `value` gives an empty text and true. `key` is put into an
// XPath as it is: pass only the fixed key names.
bool GetSetting(IXMLDOMDocument* doc, const wchar_t* key, std::wstring& value);
// Replaces (or adds) `key` as the last child of `settings`, in memory only. False, with the
// document unchanged, when there is no `settings` element.
bool SetSetting(IXMLDOMDocument* doc, const wchar_t* key, const std::wstring& value);

// Writes the whole document to the settings file. The text goes to a temporary file beside
// it, which then replaces the old file, so a crash or a full disk leaves either the old
// or the new file whole. A read-only settings file is not replaced (false).
bool SaveSettings(IXMLDOMDocument* doc);
// The same for an explicit file path (temporary file: path + ".new").
bool SaveSettingsFile(IXMLDOMDocument* doc, const std::wstring& path);

} // namespace lumexia
