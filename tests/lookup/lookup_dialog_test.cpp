// The lookup through the Format dialog's link and the loading window, in
// process on the offscreen platform, against the loopback web service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>

#include <fstream>

#include "cdrom/disc_check.h"
#include "lookup/disc_id.h"
#include "lookup/loopback.h"
#include "lookup/ui/ccddb_dlg.h"
#include "output/disc_metadata.h"
#include "rip/rip_session.h"
#include "rip/ui/format_dialog.h"
#include "support/temp_hives.h"
#include "widgets/command_link.h"
#include "widgets/dialog_units.h"
#include "widgets/png_image.h"
#include "support/test_app.h"
#include "support/no_network.h"

namespace tonvik {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServer;

using testing::App;

constexpr char kLinkText[] =
    "Click here to load track titles and other disk information from the Internet";
constexpr char kLoaded[] = "Information for your disk loaded successfully";
constexpr char kNotLoaded[] = "Information for your disc was not loaded";
constexpr char kRelease[] = "/ws/2/release/00000000-0000-4000-8000-000000000001";

class LookupDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    hives_.Install((hives_.root() / "app").string() + "/");
    session_.disc.toc = testing::MakeToc({0, 15000, 32000}, 45000);
    session_.format.format_number = 6;
    disc_id_ = lookup::DiscIdFromToc(session_.disc.toc);
    const fs::path docs = fs::path(TONVIK_SOURCE_DIR) / "tests/lookup/ws2";
    for (const char* doc : {"discid.xml", "release-album.xml"}) {
      std::string text = testing::ReadText(docs / doc);
      for (size_t at; (at = text.find("@DISCID@")) != std::string::npos;) text.replace(at, 8, disc_id_);
      std::ofstream(hives_.root() / doc) << text;
    }
  }
  void TearDown() override {
    server_.reset();
    tonvik::testing::PointProxyNowhere();
  }
  void Serve(const std::string& disc_answer, const std::string& release_answer = "200 release-album.xml") {
    server_.reset();  // the one before is gone before the next one starts
    server_ = std::make_unique<LoopbackServer>(
        hives_.root(), "/ws/2/discid/" + disc_id_ + " " + disc_answer + "\n" + kRelease + " " +
                           release_answer + "\n");
    ASSERT_NE(server_->port(), 0);
    ::setenv("http_proxy", server_->proxy().c_str(), 1);
  }
  // A dialog that asks the loopback service (another host than
  // musicbrainz.org, so no request spacing) and gives up after `bound`.
  std::unique_ptr<FormatDialog> Dialog(std::chrono::milliseconds bound = std::chrono::seconds(60)) {
    auto dialog = std::make_unique<FormatDialog>(session_);
    lookup::Service service;
    service.host = "mb.loopback.test";
    dialog->SetLookupService(service);
    dialog->SetLookupBound(bound);
    dialog->show();
    return dialog;
  }
  size_t Asked() {
    size_t n = 0;
    for (const std::string& line : server_->Requests()) n += line.rfind("done ", 0) != 0;
    return n;
  }
  size_t Answered(const std::string& path) {
    size_t n = 0;
    for (const std::string& line : server_->Requests())
      n += line.rfind("done ", 0) == 0 && line.find(path) != std::string::npos;
    return n;
  }

  testing::TempHives hives_;
  RipSession session_;
  std::string disc_id_;
  std::unique_ptr<LoopbackServer> server_;
};

struct LinkCase {
  const char* what;
  const char* disc_answer;
  std::chrono::milliseconds bound;
  const char* link_text;
  size_t titles;
  size_t requests;  // what the service is asked in all
};

// Notes how the dialog stood at the moment it went disabled.
class DisabledWatch : public QObject {
 public:
  DisabledWatch(FormatDialog& dialog, const QSignalSpy& finished) : dialog_(dialog), finished_(finished) {
    dialog.installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange && !dialog_.isEnabled() && !seen) {
      seen = true;
      accept_enabled = dialog_.acceptButton()->isEnabled();
      loading_shown = dialog_.loadingWindow() && dialog_.loadingWindow()->isVisible();
      finished_before = finished_.count();
    }
    return false;
  }
  bool seen = false, accept_enabled = true, loading_shown = false;
  qsizetype finished_before = -1;

 private:
  FormatDialog& dialog_;
  const QSignalSpy& finished_;
};

// Click → loading window over a disabled dialog → the outcome in the link,
// the dialog usable again; a second click does nothing.
TEST_F(LookupDialogTest, LinkRunsTheLookupOnceAndReportsIt) {
  using namespace std::chrono_literals;
  const LinkCase cases[] = {
      {"found", "200 discid.xml", 60s, kLoaded, 3, 2},
      {"not known", "404", 60s, kNotLoaded, 0, 1},
      {"service never answers: the bound", "hang", 1500ms, kNotLoaded, 0, 1},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.what);
    Serve(c.disc_answer);
    session_.metadata.titles = {"left from before"};
    auto dialog = Dialog(c.bound);
    QSignalSpy finished(dialog.get(), &FormatDialog::lookupFinished);
    DisabledWatch watch(*dialog, finished);
    QTest::mouseClick(dialog->lookupLink(), Qt::LeftButton);

    ASSERT_NE(dialog->loadingWindow(), nullptr);
    EXPECT_TRUE(dialog->loadingWindow()->isVisible());
    EXPECT_TRUE(session_.metadata.titles.empty()) << "the record is cleared before the lookup";
    ASSERT_TRUE(finished.count() == 1 || finished.wait(120000));
    // However quickly the answer came, the dialog was disabled under the
    // loading window before the lookup reported its end.
    EXPECT_TRUE(watch.seen);
    EXPECT_FALSE(watch.accept_enabled);
    EXPECT_TRUE(watch.loading_shown);
    EXPECT_EQ(watch.finished_before, 0);
    EXPECT_FALSE(dialog->loadingWindow()->isVisible());
    EXPECT_TRUE(dialog->isEnabled());
    EXPECT_TRUE(dialog->acceptButton()->isEnabled());
    EXPECT_EQ(dialog->lookupLink()->text(), QString::fromLatin1(c.link_text));
    EXPECT_FALSE(dialog->lookupLink()->IsLink());
    EXPECT_TRUE(dialog->lookupDone());
    EXPECT_EQ(session_.metadata.titles.size(), c.titles);

    // A second click starts nothing: no loading window, nothing queued for
    // the dialog, and (once the dialog is gone, having joined any lookup of
    // its own) no request.
    // (The request a silent service never answers may reach it only now.)
    ASSERT_TRUE(QTest::qWaitFor([&] { return Asked() == c.requests; }, 120000)) << Asked();
    const size_t asked = Asked();
    QTest::mouseClick(dialog->lookupLink(), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog->loadingWindow()->isVisible());
    EXPECT_TRUE(dialog->isEnabled());

    // Cancel still ends the dialog.
    QTimer::singleShot(0, [&] { QTest::mouseClick(dialog->findChild<QPushButton*>("cancel_2"), Qt::LeftButton); });
    EXPECT_EQ(dialog->Run(), 2);
    dialog.reset();
    EXPECT_EQ(Asked(), asked);
    EXPECT_EQ(finished.count(), 1);
  }
}

// A disc with CD-Text: its titles stand until a lookup finds titles of its
// own; one that fails or finds nothing leaves the CD-Text record (the link
// still says the lookup loaded nothing).
TEST_F(LookupDialogTest, CdTextIsTheRecordWithoutALookupAndAfterOneThatFindsNothing) {
  using namespace std::chrono_literals;
  cdrom::DiscExtras extras;
  extras.cd_text_found = true;
  extras.cd_text.found = true;
  extras.cd_text.album_title = "Disc Album";
  extras.cd_text.album_performer = "Disc Band";
  extras.cd_text.tracks[1].title = "First";
  extras.cd_text.tracks[3].title = "Third";
  const std::vector<std::string> disc_titles{"First", "Track 02", "Third"};
  const struct {
    const char* what;
    const char* disc_answer;  // nullptr: no lookup
    const char* link_text;
    const char* album;
  } cases[] = {
      {"no lookup", nullptr, kLinkText, "Disc Album"},
      {"not known", "404", kNotLoaded, "Disc Album"},
      {"found", "200 discid.xml", kLoaded, "Ljós & Skuggi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    session_.metadata = DiscMetadata{};
    session_.disc.extras = extras;
    if (c.disc_answer) Serve(c.disc_answer);
    auto dialog = Dialog();
    EXPECT_EQ(session_.metadata.titles, disc_titles) << "the disc's record from the start";
    EXPECT_EQ(session_.metadata.artist, "Disc Band");
    if (c.disc_answer) {
      QSignalSpy finished(dialog.get(), &FormatDialog::lookupFinished);
      QTest::mouseClick(dialog->lookupLink(), Qt::LeftButton);
      ASSERT_TRUE(finished.count() == 1 || finished.wait(120000));
    }
    EXPECT_EQ(dialog->lookupLink()->text(), QString::fromUtf8(c.link_text));
    EXPECT_EQ(session_.metadata.album, c.album);
    EXPECT_EQ(session_.metadata.titles.size(), 3u);
    if (std::string(c.album) == "Disc Album") {
      EXPECT_EQ(session_.metadata.titles, disc_titles);
    }
  }
  session_.disc.extras.reset();
}

// The answer comes after the bound: the dialog has already said "not
// loaded" and the answer, complete as it is, never reaches the disc record.
// The service holds its answer until the test opens the gate, after the
// dialog has given up.
TEST_F(LookupDialogTest, LateAnswerIsNotWritten) {
  Serve("gate discid.gate discid.xml");
  auto dialog = Dialog(std::chrono::milliseconds(300));
  QSignalSpy finished(dialog.get(), &FormatDialog::lookupFinished);
  QTest::mouseClick(dialog->lookupLink(), Qt::LeftButton);
  ASSERT_TRUE(finished.wait(120000));
  EXPECT_EQ(dialog->lookupLink()->text(), QString::fromLatin1(kNotLoaded));
  std::ofstream(hives_.root() / "discid.gate") << "";
  // The late lookup gets its release and ends; whatever it would post to the
  // dialog is processed by the time the condition holds.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Answered(kRelease) == 1 && lookup::BoundedLookup::Running() == 0; }, 120000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(session_.metadata.titles.empty());
  EXPECT_TRUE(session_.metadata.album.empty());
  EXPECT_EQ(dialog->lookupLink()->text(), QString::fromLatin1(kNotLoaded));
  QTimer::singleShot(0, [&] { QTest::mouseClick(dialog->acceptButton(), Qt::LeftButton); });
  EXPECT_EQ(dialog->Run(), 1);
}

TEST_F(LookupDialogTest, AutoLoadClicksTheLinkHalfASecondAfterOpening) {
  Serve("200 discid.xml");
  testing::TempHives::WriteFile(hives_.user_hive(),
                                "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n"
                                "\"CDDBAutoLoad\"=dword:00000001\n");
  // Started before the dialog (and its timer): a busy machine only adds to
  // what is measured, so the floor below holds anywhere.
  QElapsedTimer since_open;
  since_open.start();
  auto dialog = Dialog();
  QSignalSpy finished(dialog.get(), &FormatDialog::lookupFinished);
  EXPECT_EQ(dialog->loadingWindow(), nullptr);  // nothing before the timer
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->loadingWindow() != nullptr; }, 120000));
  // The product's own delay as a floor (Qt's coarse timers may fire up to 5% early).
  EXPECT_GE(since_open.elapsed(), 475);
  ASSERT_TRUE(finished.count() == 1 || finished.wait(120000));
  EXPECT_EQ(dialog->lookupLink()->text(), QString::fromLatin1(kLoaded));
  EXPECT_EQ(session_.metadata.album, "Ljós & Skuggi");
}

TEST_F(LookupDialogTest, LoadingWindowAnimatesWhileShown) {
  QWidget owner;
  owner.setGeometry(200, 150, 400, 200);
  owner.show();
  CCDDBDlg window(&owner);
  const DialogUnits du(window.font());
  EXPECT_EQ(window.size(), QSize(du.X(103), du.Y(18)));
  EXPECT_EQ(window.imageControl()->geometry(), du.Rect(7, 3, 16, 13));
  EXPECT_EQ(window.textControl()->text(), QStringLiteral("Loading disc data..."));
  EXPECT_EQ(window.frameGeometry().center(), owner.frameGeometry().center());
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.frameIndex(), 0);

  // Each frame is its PNG over the button face, and the control shows it.
  const QRgb face = window.palette().color(QPalette::Button).rgb();
  window.show();
  for (int step = 0; step < CCDDBDlg::kFrames + 1; ++step) {  // round all eight and on
    const int now = window.frameIndex();
    PNGImage png;
    png.Load(256 + now);
    EXPECT_EQ(window.FrameImage(), png.OnColour(face)) << "frame " << now;
    const QImage shown = window.imageControl()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(0, 0, png.Width(), png.ImageHeight()),
              png.OnColour(face).convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(window.animating());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.frameIndex() != now; }, 120000));
    EXPECT_EQ(window.frameIndex(), (now + 1) % CCDDBDlg::kFrames);
  }
  // Hidden, its timer is gone: no frame can come any more.
  window.hide();
  const int stopped = window.frameIndex();
  EXPECT_FALSE(window.animating());
  QCoreApplication::processEvents();
  EXPECT_EQ(window.frameIndex(), stopped);
}

}  // namespace
}  // namespace tonvik
