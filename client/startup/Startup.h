// Process entry of the client: single instance, intake, clean-up, the run, clean-up.
#pragma once

namespace lumexia {

// Runs the whole client process; returns the exit code (always 0).
int RunClient();

} // namespace lumexia
