// For one test: the client's settings file is set aside and replaced by one that names the
// stand-in service as the proxy in use, so the client reaches the stand-in under the real
// host names. The file as it was comes back at the end. Made before the test initialises
// OLE (a fixture member): it initialises COM itself for the write.
#pragma once

#include "TestSupport.h"

#include <string>

namespace testing_support {

class StandInProxySettings {
public:
    StandInProxySettings();
    StandInProxySettings(const StandInProxySettings&) = delete;
    StandInProxySettings& operator=(const StandInProxySettings&) = delete;
    // False when the settings file could not be written.
    bool Saved() const { return saved_; }
    const std::wstring& Path() const { return path_; }

private:
    SettingsSetAside aside_;
    std::wstring path_;
    bool saved_ = false;
};

} // namespace testing_support
