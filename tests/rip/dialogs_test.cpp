// The Format and progress dialogs in process, on the offscreen platform:
// opening states, what they store, pause, cancel and the final error list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QRegularExpression>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cdrom/disc_check.h"
#include "core/settings.h"
#include "disc_image.h"
#include "output/disc_metadata.h"
#include "encoders/selection.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "encoders/format_table.h"
#include "output/overwrite.h"
#include "rip/rip_session.h"
#include "rip/ui/format_dialog.h"
#include "rip/ui/progress_dialog.h"
#include "support/temp_hives.h"
#include "widgets/command_link.h"
#include "widgets/help_support.h"
#include "support/test_app.h"

namespace tonvik {
namespace {

namespace fs = std::filesystem;
using testing::TempHives;

using testing::App;

const std::string kUser = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n";

int32_t StoredDword(const char16_t* name) {
  auto key = reg::Key::Open(reg::Root::CurrentUser, kProductKey);
  uint32_t type;
  std::vector<uint8_t> d;
  if (!key || !key->Query(name, &type, &d) || d.size() != 4) return -1;
  return int32_t(d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24);
}

// Acts once on the first modal window of type T that comes up, whenever that
// is: a timer of the running event loop (exec's, or a nested one) looks for it.
template <typename T>
class OnModal {
 public:
  explicit OnModal(std::function<void(T*)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!window || !window->isVisible()) return;
      timer_.stop();
      act_(window);
    });
    timer_.start(10);
  }
  bool Done() const { return !timer_.isActive(); }

 private:
  std::function<void(T*)> act_;
  QTimer timer_;
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    hives_.Install((hives_.root() / "app").string() + "/");
  }
  void Store(const std::string& lines) { TempHives::WriteFile(hives_.user_hive(), kUser + lines); }
  // The session, its format set to `number`, for a Format dialog.
  RipSession& Session(int number) {
    session_->format.format_number = number;
    return *session_;
  }
  TempHives hives_;
  std::shared_ptr<RipSession> session_ = std::make_shared<RipSession>();
  RipJob& job_ = session_->job;
};

struct OpeningCase {
  int format;
  const char* stored;
  const char16_t* caption;
  bool slider_enabled;
};

TEST_F(DialogTest, FormatDialogOpensWithTheStoredChoiceOfEachFormat) {
  const OpeningCase cases[] = {
      {2, "", u"Quality (Normal; VBR)", false},
      {2, "\"LastPreset\"=dword:00000003\n\"LastMP3Value\"=dword:00000006\n", u"Quality (Custom; 192kbps)", true},
      {3, "\"LastPreset\"=dword:00000003\n", u"Quality (Custom; 320kbps)", true},  // stored 15: clamped
      {3, "\"LastPreset\"=dword:00000000\n", u"Quality (Low; VBR; 40-75kbps)", false},
      {4, "\"LastPreset\"=dword:00000002\n", u"Quality (High; VBR; Q:0.8)", false},
      {5, "\"LastPreset\"=dword:00000003\n\"LastAPEValue\"=dword:00000003\n", u"Compression (Custom; Extra high)", true},
      {6, "\"LastPreset\"=dword:00000003\n", u"Compression (Custom; 5 (normal))", true},
      {6, "\"LastPreset\"=dword:00000002\n", u"Compression (Highest)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.caption));
    Store(c.stored);
    FormatDialog dialog(Session(c.format));
    EXPECT_EQ(dialog.qualityBox()->title().toStdU16String(), c.caption);
    EXPECT_EQ(dialog.slider()->isEnabled(), c.slider_enabled);
    EXPECT_TRUE(dialog.presetList()->isEnabled());
  }
  // A stored LastWMAValue of 15 shows the right end ("320kbps") and is stored as 7.
  Store("\"LastPreset\"=dword:00000003\n\"LastWMAValue\"=dword:0000000f\n");
  FormatDialog wma(Session(3));
  EXPECT_EQ(wma.slider()->value(), 7);
  EXPECT_EQ(StoredDword(u"LastWMAValue"), 7);
}

// Every row of the format table, as the dialog shows it: the slider spans
// the row's custom rows, each preset shows its description, and moving the
// slider under Custom hands the encoder the row's value and remembers the
// position in the format's own registry value.
TEST_F(DialogTest, FormatDialogOpensCorrectlyForEveryRowOfTheFormatTable) {
  for (const FormatInfo& f : AllFormats()) {
    SCOPED_TRACE(ToUtf8(f.name));
    Store("\"LastPreset\"=dword:00000000\n");
    FormatDialog dialog(Session(f.number()));
    EXPECT_EQ(dialog.qualityBox()->isEnabled(), f.has_quality);
    EXPECT_EQ(dialog.presetList()->isEnabled(), f.has_quality);
    if (!f.has_quality) continue;
    EXPECT_EQ(dialog.slider()->maximum(), int(f.custom.size()) - 1);
    const std::u16string word = f.quality_word;
    for (int preset = 0; preset < 3; ++preset) {
      dialog.presetList()->setCurrentIndex(preset);
      EXPECT_EQ(dialog.qualityBox()->title().toStdU16String(), word + u"(" + f.presets[preset] + u")");
      EXPECT_FALSE(dialog.slider()->isEnabled());
      EXPECT_EQ(session_->format.preset_index, preset);
    }
    dialog.presetList()->setCurrentIndex(3);
    EXPECT_TRUE(dialog.slider()->isEnabled());
    for (int position = 0; position < int(f.custom.size()); ++position) {
      dialog.slider()->setValue(position);
      EXPECT_EQ(dialog.qualityBox()->title().toStdU16String(),
                word + u"(Custom; " + f.custom[position].label + u")");
      EXPECT_EQ(session_->format.custom_value, f.custom[position].value);
      EXPECT_EQ(StoredDword(f.slider_value_name), position);
    }
  }
}

TEST_F(DialogTest, FormatDialogForWavDisablesTheQualityButStillStoresThePreset) {
  Store("\"LastPreset\"=dword:00000002\n");
  FormatDialog dialog(Session(1));
  EXPECT_FALSE(dialog.qualityBox()->isEnabled());
  EXPECT_FALSE(dialog.presetList()->isEnabled());
  EXPECT_FALSE(dialog.slider()->isEnabled());
  EXPECT_EQ(dialog.qualityBox()->title(), QStringLiteral("Quality"));
  EXPECT_EQ(StoredDword(u"LastPreset"), 2);
}

TEST_F(DialogTest, FormatDialogUpdateStoresEveryChangeAndKeepsTheSliderPosition) {
  Store("\"LastPreset\"=dword:00000003\n\"LastOGGValue\"=dword:00000002\n");
  FormatDialog dialog(Session(4));
  EXPECT_EQ(dialog.qualityBox()->title(), QStringLiteral("Quality (Custom; 160kbps)"));
  EXPECT_EQ(session_->format.custom_value, 160000);
  dialog.slider()->setValue(4);
  EXPECT_EQ(StoredDword(u"LastOGGValue"), 4);
  EXPECT_EQ(session_->format.custom_value, 256000);
  dialog.presetList()->setCurrentIndex(0);
  EXPECT_EQ(StoredDword(u"LastPreset"), 0);
  EXPECT_EQ(session_->format.preset_index, 0);
  EXPECT_FALSE(dialog.slider()->isEnabled());
  EXPECT_EQ(dialog.slider()->value(), 4);
  EXPECT_EQ(dialog.qualityBox()->title(), QStringLiteral("Quality (Low; VBR; Q:0)"));
  dialog.presetList()->setCurrentIndex(3);
  EXPECT_EQ(dialog.qualityBox()->title(), QStringLiteral("Quality (Custom; 256kbps)"));
}

TEST_F(DialogTest, FormatDialogAcceptStoresTheFolderAsTyped) {
  FormatDialog dialog(Session(6));
  EXPECT_EQ(dialog.folderEdit()->text().toStdU16String(), Settings().LastFolder);
  dialog.show();
  dialog.folderEdit()->setText(QStringLiteral("/no/such/folder yet"));
  QTimer::singleShot(0, [&] { QTest::mouseClick(dialog.acceptButton(), Qt::LeftButton); });
  EXPECT_EQ(dialog.Run(), 1);
  EXPECT_EQ(job_.destination, u"/no/such/folder yet");
  EXPECT_EQ(Settings().LastFolder, u"/no/such/folder yet");
}

TEST_F(DialogTest, FormatDialogCancelEndsWithTwoAndTheLinkWorksOnce) {
  FormatDialog dialog(Session(6));
  dialog.show();
  // No TOC in this process: the lookup fails at once.
  QSignalSpy finished(&dialog, &FormatDialog::lookupFinished);
  QTest::mouseClick(dialog.lookupLink(), Qt::LeftButton);
  ASSERT_TRUE(finished.wait(120000));
  EXPECT_TRUE(dialog.lookupDone());
  EXPECT_EQ(dialog.lookupLink()->text(), QStringLiteral("Information for your disc was not loaded"));
  QTest::mouseClick(dialog.lookupLink(), Qt::LeftButton);  // ignored
  EXPECT_EQ(dialog.lookupLink()->text(), QStringLiteral("Information for your disc was not loaded"));
  QTimer::singleShot(0, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  EXPECT_EQ(dialog.Run(), 2);
}

TEST_F(DialogTest, FolderBrowserCheckBoxesAreStoredEvenWhenTheBrowserIsCancelled) {
  FormatDialog dialog(Session(6));
  dialog.show();
  bool seen = false;
  OnModal<QFileDialog> when_open([&](QFileDialog* browser) {
    auto* album = browser->findChild<QCheckBox*>(QStringLiteral("album_subfolder"));
    auto* artist = browser->findChild<QCheckBox*>(QStringLiteral("artist_subfolder"));
    ASSERT_TRUE(album && artist);
    EXPECT_EQ(artist->text(), QStringLiteral("Automatically create \"Artist\" sub-folder"));
    EXPECT_EQ(album->text(), QStringLiteral("Automatically create \"Album Title\" sub-folder"));
    album->setChecked(true);
    seen = true;
    browser->reject();
  });
  const QString before = dialog.folderEdit()->text();
  QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
  EXPECT_TRUE(seen);
  EXPECT_EQ(StoredDword(u"CreateAlbumSubfolder"), 1);
  EXPECT_EQ(dialog.folderEdit()->text(), before);
}

// A disc in drive D for the progress dialog, read slowly enough to watch.
class ProgressTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    const fs::path cue = hives_.root() / "disc" / "disc.cue";
    fs::create_directories(cue.parent_path());
    std::string error;
    ASSERT_TRUE(discimage::WriteDiscImage(cue.string(), {{discimage::ImageTrack::Audio, 75 * 8, discimage::ImageTrack::Music}}, false, &error));
    // The drive stands still at sector 100 until the test lets it go on, so
    // the job is under way, and cannot end, while the test clicks.
    std::ofstream(cue.string() + ".faults") << "hold 100 199 go\n";
    ::setenv("TONVIK_FAULTS", (cue.string() + ".faults").c_str(), 1);
    reg::Key::Create(reg::Root::CurrentUser, u"Software\\Quellbrook\\vandral\\Drives")
        ->SetString(u"D", cue.u16string());
    session_->disc = cdrom::CheckDisc({u"D:\\"});
    session_->format = EncoderSelection{1, 1, 0};
    job_.destination = (hives_.root() / "music").u16string();
  }
  void LetTheDriveGoOn() { std::ofstream(hives_.root() / "disc" / "go") << ""; }
};

TEST_F(ProgressTest, PauseMarksTheCaptionAndCancelEndsWithTheErrorList) {
  ProgressDialog dialog(session_);
  QString list_text, list_title, list_caption;
  OnModal<QMessageBox> error_list([&](QMessageBox* box) {
    list_caption = box->windowTitle();
    list_title = box->text();
    list_text = box->informativeText();
    box->accept();
  });
  bool paused_ok = false;
  QTimer::singleShot(0, [&] {
    QTest::mouseClick(dialog.pauseButton(), Qt::LeftButton);
    paused_ok = dialog.windowTitle() == QStringLiteral("Tonvik [paused]") && dialog.paused();
    const int32_t at_pause = job_.track_done.load();
    // Let the drive go on: the reader and the job come to wait on the pause.
    LetTheDriveGoOn();
    paused_ok = QTest::qWaitFor([&] { return dialog.control().pause->Waiters() > 0; }, 120000) && paused_ok;
    // Nothing more was handed to the encoder while paused (one chunk may be in flight).
    paused_ok = paused_ok && job_.track_done.load() - at_pause <= 61152;
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tonvik"));
  });
  EXPECT_EQ(dialog.exec(), 1);
  EXPECT_TRUE(paused_ok);
  EXPECT_EQ(list_caption, QStringLiteral("Tonvik 1.13"));
  EXPECT_EQ(list_title, QStringLiteral("The following errors were encountered"));
  EXPECT_EQ(list_text, QStringLiteral("Track 01.wav: Canceled."));
  EXPECT_FALSE(fs::exists(hives_.root() / "music" / "Track 01.wav"));
}

TEST_F(ProgressTest, AJobWithoutErrorsEndsWithoutAList) {
  std::ofstream((hives_.root() / "disc" / "disc.cue").string() + ".faults") << "\n";
  ProgressDialog dialog(session_);
  OnModal<QMessageBox> unexpected_list([](QMessageBox* box) { box->close(); });
  EXPECT_EQ(dialog.exec(), 1);
  EXPECT_TRUE(dialog.errors().isEmpty()) << dialog.errors().toStdString();
  EXPECT_EQ(fs::file_size(hives_.root() / "music" / "Track 01.wav"), 46u + 75 * 8 * 2352);
  // However long the machine took, the line reads as a time.
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Time elapsed: \\d\\d:\\d\\d\\. Time left: "))
                  .match(dialog.timeText())
                  .hasMatch())
      << dialog.timeText().toStdString();
}

TEST_F(ProgressTest, HideWithoutANotificationAreaMinimisesAndTheWindowComesBackAtTheEnd) {
  ProgressDialog dialog(session_);
  bool minimised = false, in_tray = true;
  OnModal<QMessageBox> error_list([](QMessageBox* box) { box->accept(); });
  QTimer::singleShot(0, [&] {
    QTest::mouseClick(dialog.hideButton(), Qt::LeftButton);
    QApplication::processEvents();
    minimised = dialog.isMinimized() || dialog.windowState().testFlag(Qt::WindowMinimized);
    in_tray = dialog.hiddenInTray();
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    LetTheDriveGoOn();
  });
  EXPECT_EQ(dialog.exec(), 1);
  // The offscreen platform has no notification area.
  EXPECT_FALSE(in_tray);
  EXPECT_TRUE(minimised);
  EXPECT_FALSE(dialog.isMinimized());
}

// F1 anywhere in a dialog opens the help document at that dialog's own place.
TEST_F(ProgressTest, F1OpensTheHelpAtEachDialogsContext) {
  TempHives::WriteFile(hives_.root() / "app" / "pellorin.html", "<html></html>\n");
  QList<QUrl> opened;
  CHelpSupport::SetOpener([&](const QUrl& url) {
    opened << url;
    return true;
  });
  auto press_f1_then = [&](QDialog& dialog, auto leave) {
    QTimer::singleShot(0, &dialog, [&dialog, leave] {
      dialog.activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog, 120000));
      QTest::keyClick(&dialog, Qt::Key_F1);
      leave();
    });
  };
  {
    FormatDialog format(Session(6));
    press_f1_then(format, [&format] { static_cast<QDialog&>(format).reject(); });
    format.exec();
  }
  {
    ProgressDialog progress(session_);
    // The cancelled job ends with the error list; close it whenever it comes.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
    closer.start(50);
    press_f1_then(progress, [&progress, this] {
      QTest::mouseClick(progress.cancelButton(), Qt::LeftButton);
      LetTheDriveGoOn();
    });
    progress.exec();
  }
  CHelpSupport::SetOpener(nullptr);
  ASSERT_EQ(opened.size(), 2);
  EXPECT_EQ(opened[0].fragment(), QStringLiteral("context-1"));
  EXPECT_EQ(opened[1].fragment(), QStringLiteral("context-2"));
  EXPECT_EQ(opened[1].toLocalFile().toStdString(), (hives_.root() / "app" / "pellorin.html").string());
}

}  // namespace
}  // namespace tonvik
