// The setup's temporary downloads, removed also when the setup is ended by a
// signal it can catch (SIGTERM, SIGINT, SIGHUP): the handler unlinks every
// file still registered, then ends the process as the signal would have.
// Only SIGKILL (and a crash) leaves a download behind; nothing of the process
// runs then. Logic only.
#pragma once
#include <string>

namespace tonvik::install {

// Takes part of the process's signal handling for the three signals; call
// once, early, on the main thread.
void RemoveTemporaryFilesOnSignals();

// A file to be removed if a signal ends the process before ForgetTemporary.
// False when the path is too long or every slot is taken (the file is then
// only removed by its owner).
bool RegisterTemporary(const std::string& path);
void ForgetTemporary(const std::string& path);

}  // namespace tonvik::install
