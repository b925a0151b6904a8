// Fixtures of the settings tests: COM on the test thread, and the shared settings file of
// the data folder saved before a test and put back afterwards (other test programs use
// the same Wine prefix).
#pragma once

#include "common/ScopedWin.h"

#include <gtest/gtest.h>

#include <string>

namespace settings_testing {

class ComTest : public ::testing::Test {
protected:
    lumexia::ScopedCoInit com_;
};

// Starts each test without config2.txt (and without a stray temporary beside it).
class SettingsFileTest : public ComTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the settings file with these bytes.
    void WriteSettingsFile(const std::string& bytes);
    std::string ReadSettingsFile();
    // The `name` attributes of the `setting` elements, in file order, parsed afresh.
    std::wstring SettingNames();

    std::wstring path_;

private:
    bool had_ = false;
    std::string saved_;
};

// Points the user's local application-data folder (and with it the data folder) at
// `folder` for the object's lifetime, through the per-user shell-folder value the shell
// reads on every query; the previous value is put back on destruction.
class LocalAppDataRedirect {
public:
    explicit LocalAppDataRedirect(const std::wstring& folder);
    ~LocalAppDataRedirect();
    LocalAppDataRedirect(const LocalAppDataRedirect&) = delete;
    LocalAppDataRedirect& operator=(const LocalAppDataRedirect&) = delete;
    bool Active() const { return active_; }

private:
    bool active_ = false;
    bool hadValue_ = false;
    DWORD type_ = REG_EXPAND_SZ;
    std::wstring previous_;
};

} // namespace settings_testing
