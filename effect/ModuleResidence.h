#pragma once

namespace quillon {

// [host] Once an instance has been made, the module that holds this function stays mapped until
// the process ends, whatever dlclose the host calls. The editor's fonts live on in Cairo's
// process-wide font cache, which releases them (through a function of this module) whenever it
// pleases, and the run loop, the reaper of child processes and the X error trap are the process's,
// not an instance's: unmapped, Cairo would call into nothing, and every load would leave another
// set of them behind. So they are kept on purpose and found again by the next load.
void KeepModuleLoaded();

} // namespace quillon
