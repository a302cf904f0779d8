// Downloads from the maker's host through libcurl, honouring http_proxy (the
// tests stand a loopback server in that way). Logic only; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tonvik::install {

// The maker's host that serves "/redist/redist.txt" and the redistributables.
inline constexpr char kMakerHost[] = "http://www.quellbrook.com";

enum class DownloadResult { Ok, Failed, Aborted };

// Called on every progress notification with bytes so far and the total
// (0 while unknown); returning false aborts the transfer.
using DownloadProgress = std::function<bool(uint64_t progress, uint64_t maximum)>;

// The largest body DownloadToMemory takes (the list is a few lines).
inline constexpr size_t kLargestInMemory = 1 << 20;

// The body of a 2xx answer into *body; anything else (HTTP status >= 400,
// a connection that fails or is cut before the announced length, a body
// larger than kLargestInMemory) fails. A
// progress function, when given, can abort it as below.
DownloadResult DownloadToMemory(const std::string& url, std::string* body, const DownloadProgress& progress = {});
// The same into the open file descriptor (from its current position).
DownloadResult DownloadToFile(const std::string& url, int fd, const DownloadProgress& progress);

// libcurl's process-wide set-up (curl_global_init), once. Every download
// calls it; a worker calls it on its owner's thread before it starts its own,
// so that the set-up never races another library's.
void InitialiseDownloads();

}  // namespace tonvik::install
