#include "settings/SettingsReadAhead.h"

#include "common/Threads.h"

namespace lumexia {

void SettingsReadAhead::Start() {
    if (thread_) return;
    read_ = std::make_shared<Read>();
    thread_ = StartSharedThread(read_, &SettingsReadAhead::Run);
}

DWORD SettingsReadAhead::Run(Read& read) {
    // The document is made in this thread's own apartment and never leaves it: only the
    // plain records are handed over. Nothing may leave a thread routine.
    try {
        ScopedCoInit com;
        if (FAILED(com.Result())) return 1;
        read.loaded = LoadStartupSettings(read.settings);
        read.ran = true;
    } catch (...) {
        read.ran = false;
    }
    return 0;
}

bool SettingsReadAhead::Take(StartupSettings& out) {
    if (thread_) {
        // A local file read: the wait is as long as the read on this thread would have been.
        ::WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
        if (read_->ran) {
            out = std::move(read_->settings);
            return read_->loaded;
        }
    }
    return LoadStartupSettings(out);
}

} // namespace lumexia
