// The start-up read of the settings file (LoadStartupSettings) on a thread of its own, so
// that it overlaps what the caller does meanwhile: the main dialog starts the read before
// its window and controls are made and takes the result when they are.
#pragma once

#include "common/ScopedWin.h"
#include "settings/SettingsGroups.h"

#include <memory>

namespace lumexia {

class SettingsReadAhead {
public:
    SettingsReadAhead() = default;
    SettingsReadAhead(const SettingsReadAhead&) = delete;
    SettingsReadAhead& operator=(const SettingsReadAhead&) = delete;

    // Starts the read; without a thread (none could start) Take reads by itself.
    void Start();
    // The settings as LoadStartupSettings gives them, and its result: the started read's,
    // once it has ended, or a read made here when none was started or it failed.
    bool Take(StartupSettings& out);

private:
    struct Read {
        StartupSettings settings;
        bool loaded = false;
        bool ran = false; // false: the thread could not initialise COM or threw
    };
    static DWORD Run(Read& read);

    std::shared_ptr<Read> read_;
    UniqueHandle thread_;
};

} // namespace lumexia
