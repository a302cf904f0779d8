// lookup_bench service <runs>   disc ID + the two requests against http_proxy,
//                               best and mean wall time in ms ("best mean")
// lookup_bench spacing          two lookups in a row naming musicbrainz.org,
//                               wall time of the second in ms (the library's spacing)
// lookup_bench stalled          the Format dialog's link clicked while the
//                               service never answers: ms until the dialog is
//                               usable again, and the bound in ms ("usable bound")
// The disc is a fixed three-track TOC; the service is whatever http_proxy
// points at (bench/lookup.sh starts the loopback server).
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "cdrom/disc_check.h"
#include "lookup/bounded_lookup.h"
#include "lookup/musicbrainz_lookup.h"
#include "rip/rip_session.h"
#include "rip/ui/format_dialog.h"
#include "widgets/command_link.h"

namespace {

std::vector<uint8_t> Toc() {
  std::vector<uint8_t> toc = {0, 26, 1, 3};
  const int32_t starts[] = {0, 15000, 32000, 45000};
  const int numbers[] = {1, 2, 3, 0xAA};
  for (int i = 0; i < 4; ++i) {
    const uint32_t u = uint32_t(starts[i]);
    toc.insert(toc.end(), {0, 0x10, uint8_t(numbers[i]), 0, uint8_t(u >> 24), uint8_t(u >> 16),
                           uint8_t(u >> 8), uint8_t(u)});
  }
  return toc;
}

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tonvik;
  const std::string mode = argc > 1 ? argv[1] : "";
  const auto toc = Toc();
  if (mode == "service") {
    const int runs = argc > 2 ? std::atoi(argv[2]) : 20;
    lookup::Service service;
    service.host = "mb.loopback.test";
    double best = 1e9, total = 0;
    for (int i = 0; i < runs; ++i) {
      DiscMetadata record;
      const auto start = std::chrono::steady_clock::now();
      lookup::LookupDisc(toc, record, service);
      const double ms = Ms(start);
      if (record.titles.empty()) {
        std::fprintf(stderr, "lookup_bench: nothing loaded\n");
        return 1;
      }
      best = std::min(best, ms);
      total += ms;
    }
    std::printf("%.2f %.2f\n", best, total / runs);
    return 0;
  }
  if (mode == "spacing") {
    DiscMetadata record;
    lookup::LookupDisc(toc, record, {});
    const auto start = std::chrono::steady_clock::now();
    lookup::LookupDisc(toc, record, {});
    std::printf("%.0f\n", Ms(start));
    return record.titles.empty() ? 1 : 0;
  }
  if (mode == "stalled") {
    QApplication app(argc, argv);
    RipSession session;
    session.disc.toc = toc;
    session.format.format_number = 6;
    FormatDialog dialog(session);
    dialog.show();
    QSignalSpy finished(&dialog, &FormatDialog::lookupFinished);
    QElapsedTimer since_click;
    since_click.start();
    QTest::mouseClick(dialog.lookupLink(), Qt::LeftButton);
    QTest::qWait(10);
    if (dialog.isEnabled() && finished.isEmpty()) QTest::qWait(100);
    while (!(dialog.isEnabled() && finished.count() == 1)) QTest::qWait(5);
    std::printf("%lld %lld\n", static_cast<long long>(since_click.elapsed()),
                static_cast<long long>(lookup::kLookupBound.count()));
    return dialog.lookupLink()->text() == QStringLiteral("Information for your disc was not loaded") ? 0 : 1;
  }
  std::fprintf(stderr, "usage: lookup_bench service <runs> | spacing | stalled\n");
  return 2;
}
