#include "install/download.h"

#include <curl/curl.h>

#include <mutex>

#include "platform/fd_io.h"
#include "platform/curl_once.h"

namespace tonvik::install {

namespace {

size_t AppendToString(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  // A host that sends far more than a list ends the transfer, not our memory.
  if (size * count > kLargestInMemory - body->size()) return 0;
  body->append(data, size * count);
  return size * count;
}

size_t WriteToFd(char* data, size_t size, size_t count, void* user) {
  // Anything short of the whole chunk makes libcurl fail the transfer.
  return WriteAll(*static_cast<int*>(user), data, size * count) ? size * count : 0;
}

struct ProgressContext {
  const DownloadProgress* progress;
  bool aborted = false;
};

int OnTransferInfo(void* user, curl_off_t download_total, curl_off_t downloaded, curl_off_t, curl_off_t) {
  auto* context = static_cast<ProgressContext*>(user);
  if ((*context->progress)(static_cast<uint64_t>(downloaded), static_cast<uint64_t>(download_total)))
    return 0;
  context->aborted = true;
  return 1;  // anything but 0 stops the transfer
}

// One GET of `url` through a fresh handle: the proxy comes from the
// environment (http_proxy, as libcurl reads it for http:// addresses),
// redirects are followed within http and https, an HTTP status of 400 or
// above fails, and so does a body shorter than its Content-Length. libcurl
// calls the progress function on every change and about once a second while
// nothing moves, so an abort is seen even when the host is silent.
DownloadResult Get(const std::string& url, curl_write_callback write, void* write_target,
                   const DownloadProgress* progress) {
  InitialiseDownloads();
  CURL* curl = curl_easy_init();
  if (!curl) return DownloadResult::Failed;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tonvik Setup");
  // A host that stops sending for two minutes is taken as gone.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 120L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, write_target);
  ProgressContext context{progress};
  if (progress) {
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnTransferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &context);
  }
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (rc == CURLE_OK) return DownloadResult::Ok;
  return context.aborted ? DownloadResult::Aborted : DownloadResult::Failed;
}

}  // namespace

void InitialiseDownloads() { InitialiseCurl(); }

DownloadResult DownloadToMemory(const std::string& url, std::string* body, const DownloadProgress& progress) {
  body->clear();
  const DownloadResult result = Get(url, AppendToString, body, progress ? &progress : nullptr);
  if (result != DownloadResult::Ok) body->clear();
  return result;
}

DownloadResult DownloadToFile(const std::string& url, int fd, const DownloadProgress& progress) {
  return Get(url, WriteToFd, &fd, progress ? &progress : nullptr);
}

}  // namespace tonvik::install
