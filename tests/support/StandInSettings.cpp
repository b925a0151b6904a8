#include "StandInSettings.h"

#include "StandIn.h"

#include "common/DataFolder.h"
#include "common/ScopedWin.h"
#include "settings/SettingsGroups.h"

namespace testing_support {

StandInProxySettings::StandInProxySettings() : path_(lumexia::DataFolder() + L"config2.txt") {
    lumexia::ProxySettings proxy;
    proxy.full = standin::ProxyText();
    proxy.isUse = true;
    lumexia::ScopedCoInit com;
    saved_ = lumexia::SaveProxySettings(proxy);
}

} // namespace testing_support
