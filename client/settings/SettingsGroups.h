// Load and save of the five groups of persisted values. Each operation opens the settings
// file afresh, touches only its own keys and (when saving) writes the whole file back, so
// the groups never overwrite one another. Main (user-interface) thread only; the one
// exception is the start-up read, made ahead on a thread of its own (SettingsReadAhead)
// while the main thread makes the dialog and touches no setting.
#pragma once

#include "settings/SettingsRecords.h"

#include <string>

namespace lumexia {

// Every default of the upload options, rotation 0 included.
void ResetUploadSettings(UploadSettings& settings);
// False (record untouched) when the file cannot be opened; the caller then resets.
bool LoadUploadSettings(UploadSettings& settings);
bool SaveUploadSettings(const UploadSettings& settings);

// The Load* below first put the defaults, which stand when they return false.
bool LoadProxySettings(ProxySettings& settings);
bool SaveProxySettings(const ProxySettings& settings);

bool LoadNoticeFlags(NoticeFlags& flags);
bool SaveNoticeFlags(const NoticeFlags& flags);

// Only user name and password are stored; user id and ticket are emptied on load.
bool LoadCredentials(UserCredentials& credentials);
bool SaveCredentials(const UserCredentials& credentials);
// Stores an empty user name and password, and removes the set-aside copies of settings
// files that did not load. True when both were done.
bool ForgetCredentials();

// What the main dialog and its first paint read, taken from the settings file in one
// load and one pass over its `setting` elements (the start-up of the client pays for one
// document, not one per group). Each group follows its own loading rules: the upload
// options, proxy, notice flags and login hold their defaults when the file cannot be
// opened (`opened` false, as LoadUploadSettings failing then ResetUploadSettings).
struct StartupSettings {
    bool opened = false;
    UploadSettings upload;
    ProxySettings proxy;
    NoticeFlags notices;
    UserCredentials credentials; // user name and password only
};
bool LoadStartupSettings(StartupSettings& out);

// The stored client id (32 upper-case hex digits), empty when absent.
bool LoadClientId(std::wstring& id);
bool SaveClientId(const std::wstring& id);
// The id for requests: the stored one, or a new one made and stored when none is stored
// yet; returned in lower case (the stored form stays upper case). False when no id is
// available at all.
bool ObtainClientId(std::wstring& idLower);

// Conversions of the stored texts.
bool ParseSettingBool(const std::wstring& text); // true when it begins with T or t
int ParseSettingInt(const std::wstring& text);   // decimal prefix, 0 without digits
std::wstring FormatSettingBool(bool value);      // "True" / "False"
std::wstring FormatSettingInt(int value);

} // namespace lumexia
