// The one place a thread may go when its owner cannot wait for it: a thread
// stuck in a library call that cannot be interrupted (a lookup inside the
// HTTP library, a reader inside a drive that never answers). Every other
// thread is joined by its owner.
//
// The process's exit path asks here: while an abandoned thread still runs,
// the process must not run its static destructors under it, so it flushes
// its files, removes the unfinished ones and ends with _Exit instead.
#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace tonvik {

// Takes the thread over. `finished` is set by the thread as its last act;
// a finished thread is joined at the next look.
void AbandonThread(std::thread thread, std::shared_ptr<const std::atomic<bool>> finished);

// Joins the abandoned threads that have finished; true while any still runs.
bool AbandonedThreadsAlive();

// A file that is incomplete while its owner works on it (an encoder's
// temporary file), from creation until it is put in place or removed. A
// quick exit removes those still registered: an abandoned job leaves no
// partial file behind.
void RegisterUnfinishedFile(const std::string& path);
void ForgetUnfinishedFile(const std::string& path);

// The end of main: returns `code` when no abandoned thread runs; otherwise
// flushes the C streams, removes the unfinished files and ends the process
// with `code` at once.
int ExitCodeOrQuickExit(int code);

}  // namespace tonvik
