// The prerequisites, licence and installation pages and their common look, in
// process on the offscreen platform. Workers are threads of the test that call
// the page's view as the setup's workers do.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <atomic>
#include <fstream>
#include <sstream>

#include "install/ui/install_dialog.h"
#include "install/ui/license_dialog.h"
#include "install/ui/prerequisites_dialog.h"
#include "install/ui/task_dialog.h"
#include "page_test_support.h"
#include "widgets/command_link.h"
#include "widgets/dialog_units.h"

namespace tonvik::install {
namespace {

using testing::App;
using testing::BoxAnswerer;
using testing::Fonts;
using testing::WaitFor;
using testing::Control;
using testing::EndedWith;
using testing::OpenAndShow;

Prerequisite Msi(std::string local_file = {}) {
  return {PrerequisiteKind::WindowsInstaller, u"Windows Installer", u"Required system component.",
          std::move(local_file), true, false};
}

Prerequisite Wma(std::string local_file = {}) {
  return {PrerequisiteKind::WmaCodecs, u"Windows Media Audio 10 (WMA) codecs",
          u"You need to install this component only if you're going to rip CDs to WMA. If you don't need WMA "
          u"support you may uncheck this component and skip installing it.",
          std::move(local_file), false, false};
}

// Counts how often a widget was shown.
class ShowCounter : public QObject {
 public:
  int shows = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) ++shows;
    return false;
  }
};

// A prerequisites page over a fixed detection and a worker the test writes.
struct PrerequisitesRig {
  explicit PrerequisitesRig(std::vector<Prerequisite> missing,
                            std::function<void(std::vector<Prerequisite>&, PrerequisitesView&, SetupState&)> body = {}) {
    services.detect = [missing] { return missing; };
    services.start_worker = [this, body](std::vector<Prerequisite>& components, PrerequisitesView& view,
                                         SetupState& s) {
      ++starts;
      started_with = components;
      return testing::WorkerOnThread([&components, &view, &s, body] {
        if (body) body(components, view, s);
        view.WorkerFinished();
      });
    };
  }
  SetupState state;
  PrerequisitesServices services;
  int starts = 0;
  std::vector<Prerequisite> started_with;
};

// ---------------------------------------------------------------- common look

struct PageCase {
  const char* name;
  std::function<std::unique_ptr<WizardPage>()> make;
  int background;
  const char* title;
  const char* subtitle;
};

std::vector<PageCase> Pages() {
  static SetupState setup;
  static InstallState installation;
  return {
      {"prerequisites",
       [] {
         PrerequisitesServices services;
         services.detect = [] { return std::vector<Prerequisite>{Msi()}; };
         services.start_worker = [](auto&, auto&, auto&) { return std::shared_ptr<PageWorker>(); };
         auto page = std::make_unique<PrerequisitesDialog>(Fonts(), setup, services);
         page->Open();
         return std::unique_ptr<WizardPage>(std::move(page));
       },
       209, "Prerequisites", "Checking your system for additional components required for installation"},
      {"licence", [] { return std::unique_ptr<WizardPage>(new LicenseDialog(Fonts())); }, 208, "License agreement",
       "Read license terms and conditions before installing Tonvik"},
      {"installation",
       [] {
         return std::unique_ptr<WizardPage>(
             new InstallDialog(Fonts(), installation, [](auto&, auto&) { return std::shared_ptr<PageWorker>(); }));
       },
       207, "Installation progress", "Wait while Tonvik is being installed..."},
  };
}

TEST(WizardPageTest, EveryPageHasTheCommonLook) {
  App();
  for (const PageCase& c : Pages()) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<WizardPage> page = c.make();
    EXPECT_EQ(page->windowTitle(), QStringLiteral("Tonvik Setup"));
    const DialogUnits du(page->font());
    EXPECT_EQ(page->size(), QSize(du.X(533), du.Y(338)));
    EXPECT_TRUE(page->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(page->windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(page->windowIcon().isNull());
    EXPECT_EQ(page->BackgroundId(), c.background);
    EXPECT_EQ(page->Title(), QString::fromUtf8(c.title));
    EXPECT_EQ(page->Subtitle(), QString::fromUtf8(c.subtitle));

    auto* back = Control<QPushButton>(*page, "1000");
    auto* next = Control<QPushButton>(*page, "1");
    auto* cancel = Control<QPushButton>(*page, "2");
    ASSERT_TRUE(back && next && cancel);
    EXPECT_EQ(back->text(), QStringLiteral("< &Back"));
    EXPECT_FALSE(back->isEnabled());
    EXPECT_EQ(next->text(), QStringLiteral("&Next >"));
    EXPECT_TRUE(next->isDefault());
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));

    // Check boxes and radio buttons stand on the solid page-coloured brush.
    for (const char* id : {"1002", "1003", "1012", "1013", "1018", "1019"}) {
      if (auto* control = page->findChild<QWidget*>(QString::fromLatin1(id))) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(control->autoFillBackground());
        EXPECT_EQ(control->palette().color(QPalette::Window), QColor(0xEF, 0xF6, 0xFF));
      }
    }
  }
}

enum class Leave { CancelButton, CloseBox, Escape };

TEST(WizardPageTest, CancellingAsksAndOnlyYesEndsThePageWithTwo) {
  App();
  struct Case {
    Leave how;
    const char* answer;
    bool ends;
  };
  const Case cases[] = {
      {Leave::CancelButton, "No", false}, {Leave::CancelButton, "Yes", true}, {Leave::CloseBox, "No", false},
      {Leave::CloseBox, "Yes", true},     {Leave::Escape, "Yes", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.how) << " " << c.answer);
    LicenseDialog page(Fonts());
    OpenAndShow(page);
    BoxAnswerer answerer({QString::fromLatin1(c.answer)});
    switch (c.how) {
      case Leave::CancelButton: QTest::mouseClick(page.cancelButton(), Qt::LeftButton); break;
      case Leave::CloseBox: page.close(); break;
      case Leave::Escape: QTest::keyClick(&page, Qt::Key_Escape); break;
    }
    ASSERT_TRUE(WaitFor([&] { return answerer.Done(); }));
    ASSERT_EQ(answerer.seen().size(), 1u);
    const testing::SeenBox& box = answerer.seen()[0];
    EXPECT_EQ(box.title, QStringLiteral("Tonvik Setup"));
    EXPECT_EQ(box.text, QStringLiteral("You are going to abort installation. Are you sure?"));
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.buttons, (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));
    QApplication::processEvents();
    EXPECT_EQ(page.isVisible(), !c.ends);
    EXPECT_EQ(page.result(), c.ends ? 2 : 0);
  }
}

TEST(WizardPageTest, ExecReturnsWhatThePageEndedWith) {
  App();
  for (const char* answer : {"Next", "Cancel"}) {
    SCOPED_TRACE(answer);
    LicenseDialog page(Fonts());
    BoxAnswerer answerer({QStringLiteral("Yes")});
    QTimer::singleShot(0, &page, [&] {
      if (QString::fromLatin1(answer) == QLatin1String("Next")) {
        page.acceptRadio()->click();
        page.nextButton()->click();
      } else {
        page.cancelButton()->click();
      }
    });
    EXPECT_EQ(page.exec(), QString::fromLatin1(answer) == QLatin1String("Next") ? 1 : 2);
  }
}

// ---------------------------------------------------------- prerequisites page

TEST(PrerequisitesPageTest, NothingMissingEndsWithOneWithoutShowing) {
  App();
  PrerequisitesRig rig({});
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  ShowCounter counter;
  page.installEventFilter(&counter);
  EXPECT_EQ(page.exec(), 1);
  EXPECT_EQ(counter.shows, 0);
  EXPECT_EQ(rig.starts, 0);
}

TEST(PrerequisitesPageTest, OpensWithTheChoiceOfTheMissingComponents) {
  App();
  struct Case {
    const char* name;
    std::vector<Prerequisite> missing;
    bool note;
  };
  const Case cases[] = {
      {"installer with a local copy", {Msi("/setup/instmsiw")}, false},
      {"installer to download", {Msi()}, true},
      {"codecs to download", {Msi("/setup/instmsiw"), Wma()}, true},
      {"both local", {Msi("/setup/instmsiw"), Wma("/setup/wmfdist95")}, false},
      {"codecs alone, local", {Wma("/setup/wmfdist95")}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrerequisitesRig rig(c.missing);
    PrerequisitesDialog page(Fonts(), rig.state, rig.services);
    OpenAndShow(page);
    auto* headline = Control<QLabel>(page, "1001");
    EXPECT_TRUE(headline->isVisible());
    EXPECT_EQ(headline->text(), QStringLiteral("Pick the optional components you would like to install. Note that "
                                               "strictly required components must be installed anyway."));
    EXPECT_FALSE(Control<QLabel>(page, "1008")->isVisible());
    EXPECT_FALSE(Control<QProgressBar>(page, "1009")->isVisible());
    EXPECT_TRUE(page.nextButton()->isEnabled());
    EXPECT_EQ(Control<QLabel>(page, "1010")->isVisible(), c.note);
    EXPECT_EQ(Control<QLabel>(page, "1010")->text(), QStringLiteral("* Internet connection required"));

    const char* ids[2][3] = {{"1002", "1004", "1005"}, {"1003", "1006", "1007"}};
    for (size_t i = 0; i < 2; ++i) {
      auto* box = Control<QCheckBox>(page, ids[i][0]);
      auto* name = Control<QLabel>(page, ids[i][1]);
      auto* description = Control<QLabel>(page, ids[i][2]);
      if (i >= c.missing.size()) {
        EXPECT_FALSE(box->isVisible() || name->isVisible() || description->isVisible());
        continue;
      }
      const Prerequisite& p = c.missing[i];
      EXPECT_TRUE(box->isVisible());
      EXPECT_TRUE(box->isChecked());
      EXPECT_EQ(box->isEnabled(), !p.required);  // the required one cannot be cleared
      EXPECT_EQ(name->text().toStdU16String(), p.name);
      EXPECT_EQ(name->font().weight(), QFont::Bold);
      EXPECT_EQ(description->text().toStdU16String(), p.description);
      EXPECT_EQ(description->font().weight(), QFont::Normal);
    }
  }
}

TEST(PrerequisitesPageTest, TheNoteFollowsTheChecksOfComponentsWithoutALocalFile) {
  App();
  PrerequisitesRig rig({Msi("/setup/instmsiw"), Wma()});
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  OpenAndShow(page);
  auto* note = Control<QLabel>(page, "1010");
  auto* codecs = Control<QCheckBox>(page, "1003");
  for (bool expected : {false, true, false}) {
    QTest::mouseClick(codecs, Qt::LeftButton, {}, codecs->rect().center());
    EXPECT_EQ(codecs->isChecked(), expected);
    EXPECT_EQ(note->isVisible(), expected);
  }
}

TEST(PrerequisitesPageTest, NothingCheckedSkipsTheInstallation) {
  App();
  PrerequisitesRig rig({Wma()});
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  OpenAndShow(page);
  auto* codecs = Control<QCheckBox>(page, "1002");
  QTest::mouseClick(codecs, Qt::LeftButton, {}, codecs->rect().center());
  ASSERT_FALSE(codecs->isChecked());
  EXPECT_FALSE(Control<QLabel>(page, "1010")->isVisible());
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  EXPECT_EQ(EndedWith(page), 1);
  EXPECT_EQ(rig.starts, 0);
}

TEST(PrerequisitesPageTest, CancelWhileChoosingEndsWithTwo) {
  App();
  PrerequisitesRig rig({Msi()});
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  OpenAndShow(page);
  BoxAnswerer answerer({QStringLiteral("Yes")});
  QTest::mouseClick(page.cancelButton(), Qt::LeftButton);
  EXPECT_EQ(EndedWith(page), 2);
  EXPECT_EQ(rig.starts, 0);
  EXPECT_FALSE(rig.state.abort_requested);
}

// Next records the choice, turns the page into the progress view and starts
// the worker, whose calls from its own thread reach the status line and bar.
TEST(PrerequisitesPageTest, TheWorkerRunsWithTheChoiceAndItsViewCallsReachThePage) {
  App();
  std::atomic<bool> go_on{false};
  PrerequisitesRig rig({Msi("/setup/instmsiw"), Wma()}, [&](auto&, PrerequisitesView& view, SetupState&) {
    view.ShowStatus(u"Installing Windows Installer component");
    view.ShowProgress(40);
    testing::Await(go_on);
  });
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  OpenAndShow(page);
  auto* codecs = Control<QCheckBox>(page, "1003");
  QTest::mouseClick(codecs, Qt::LeftButton, {}, codecs->rect().center());
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);

  ASSERT_EQ(rig.starts, 1);
  ASSERT_EQ(rig.started_with.size(), 2u);
  EXPECT_TRUE(rig.started_with[0].selected);
  EXPECT_FALSE(rig.started_with[1].selected);
  EXPECT_FALSE(page.nextButton()->isEnabled());
  for (const char* id : {"1001", "1002", "1003", "1004", "1005", "1006", "1007", "1010"}) {
    EXPECT_FALSE(page.findChild<QWidget*>(QString::fromLatin1(id))->isVisible()) << id;
  }
  auto* status = Control<QLabel>(page, "1008");
  auto* bar = Control<QProgressBar>(page, "1009");
  EXPECT_TRUE(status->isVisible());
  EXPECT_TRUE(bar->isVisible());

  EXPECT_TRUE(WaitFor([&] { return status->text() == QStringLiteral("Installing Windows Installer component"); }))
      << status->text().toStdString();
  EXPECT_TRUE(WaitFor([&] { return bar->value() == 40; }));
  EXPECT_TRUE(page.isVisible());
  // Next does nothing while the worker runs.
  page.nextButton()->click();
  EXPECT_TRUE(page.isVisible());
  go_on = true;
  EXPECT_EQ(EndedWith(page), 1);
  EXPECT_EQ(rig.starts, 1);
}

TEST(PrerequisitesPageTest, TheStatusLineStartsWithTheStartingText) {
  App();
  std::atomic<bool> go_on{false};
  PrerequisitesRig rig({Msi()}, [&](auto&, auto&, auto&) { testing::Await(go_on); });
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  OpenAndShow(page);
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  EXPECT_EQ(Control<QLabel>(page, "1008")->text(), QStringLiteral("Starting prerequisites installation"));
  EXPECT_EQ(Control<QProgressBar>(page, "1009")->value(), 0);
  go_on = true;
  EXPECT_EQ(EndedWith(page), 1);
}

TEST(PrerequisitesPageTest, AWorkerErrorIsReportedAndEndsWithTwo) {
  App();
  PrerequisitesRig rig({Msi()}, [](auto&, auto&, SetupState& s) {
    s.error = true;
    s.error_text = u"Unable to install Windows Installer. Installation aborted.";
  });
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  OpenAndShow(page);
  BoxAnswerer answerer({QStringLiteral("Close")});
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  EXPECT_EQ(EndedWith(page), 2);
  ASSERT_EQ(answerer.seen().size(), 1u);
  const testing::SeenBox& box = answerer.seen()[0];
  EXPECT_EQ(box.title, QStringLiteral("Tonvik Setup"));
  EXPECT_EQ(box.text, QStringLiteral("Error"));
  EXPECT_EQ(box.informative, QStringLiteral("Unable to install Windows Installer. Installation aborted."));
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, QStringList{QStringLiteral("Close")});
}

// Cancel while the worker runs only asks it to stop; the page ends when the
// worker says it has finished.
TEST(PrerequisitesPageTest, CancelWhileWorkingAsksTheWorkerToStop) {
  App();
  std::atomic<bool> asked{false};
  PrerequisitesRig rig({Msi()}, [&](auto&, auto&, SetupState& s) {
    while (!s.abort_requested) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    asked = true;
    s.error = true;
    s.error_text = u"Installation canceled.";
  });
  PrerequisitesDialog page(Fonts(), rig.state, rig.services);
  OpenAndShow(page);
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  BoxAnswerer answerer({QStringLiteral("Yes"), QStringLiteral("Close")});
  QTest::mouseClick(page.cancelButton(), Qt::LeftButton);
  EXPECT_TRUE(rig.state.abort_requested);
  EXPECT_EQ(EndedWith(page), 2);
  EXPECT_TRUE(asked);
  ASSERT_EQ(answerer.seen().size(), 2u);
  EXPECT_EQ(answerer.seen()[1].informative, QStringLiteral("Installation canceled."));
}

// ----------------------------------------------------------------- licence page

std::string Collapsed(const QString& text) {
  return text.simplified().toStdString();
}

TEST(LicensePageTest, ShowsTheAgreementFaithfully) {
  App();
  LicenseDialog page(Fonts());
  OpenAndShow(page);
  QTextBrowser* box = page.agreement();
  ASSERT_EQ(box, Control<QTextBrowser>(page, "1011"));
  EXPECT_TRUE(box->isReadOnly());
  EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  const QString shown = box->toPlainText();
  EXPECT_TRUE(shown.contains(QStringLiteral("GNU GENERAL PUBLIC LICENSE")));
  EXPECT_TRUE(shown.contains(QStringLiteral("Version 3, 29 June 2007")));

  // Every word of LICENSE, in order; only the line breaks and spacing differ.
  QFile license(QStringLiteral(TONVIK_SOURCE_DIR "/LICENSE"));
  ASSERT_TRUE(license.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(license.readAll());
  EXPECT_EQ(Collapsed(shown), Collapsed(text));

  auto* headline = Control<QLabel>(page, "1001");
  EXPECT_EQ(headline->text(), QStringLiteral("Please read the following License Agreement. You have to accept the "
                                             "terms of this agreement to install this product."));
  EXPECT_EQ(headline->font(), Fonts().text);
}

TEST(LicensePageTest, LicenseIsTheGnuGplVersion3) {
  // The SHA-256 of the FSF's text (https://www.gnu.org/licenses/gpl-3.0.txt,
  // also Debian's /usr/share/common-licenses/GPL-3), so the check needs no
  // copy of it on the machine.
  QFile license(QStringLiteral(TONVIK_SOURCE_DIR "/LICENSE"));
  ASSERT_TRUE(license.open(QIODevice::ReadOnly));
  EXPECT_EQ(QCryptographicHash::hash(license.readAll(), QCryptographicHash::Sha256).toHex().toStdString(),
            "3972dc9744f6499f0f9b2dbf76696f2ae7ad8af9b23dde66d6af86c9dfb36986");
}

TEST(LicensePageTest, NextIsEnabledExactlyWhileAcceptIsChosen) {
  App();
  LicenseDialog page(Fonts());
  OpenAndShow(page);
  QRadioButton* accept = Control<QRadioButton>(page, "1012");
  QRadioButton* decline = Control<QRadioButton>(page, "1013");
  auto* accept_label = Control<CommandLink>(page, "1018");
  auto* decline_label = Control<CommandLink>(page, "1019");
  EXPECT_TRUE(accept->text().isEmpty());
  EXPECT_TRUE(decline->text().isEmpty());
  EXPECT_EQ(accept_label->text(), QStringLiteral("I accept the agreement"));
  EXPECT_EQ(decline_label->text(), QStringLiteral("I do not accept the agreement"));
  for (CommandLink* label : {accept_label, decline_label}) {
    EXPECT_EQ(label->GetLook(), CommandLink::Look::NeverUnderlineBlack);
    EXPECT_FALSE(label->Underlined());
    EXPECT_TRUE(label->toolTip().isEmpty());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(label->font().pointSize(), Fonts().text.pointSize());
  }
  EXPECT_FALSE(accept->isChecked() || decline->isChecked());
  EXPECT_FALSE(page.nextButton()->isEnabled());

  struct Step {
    QWidget* click;
    bool accepted, declined;
  };
  const Step steps[] = {
      {accept_label, true, false}, {decline_label, false, true}, {accept, true, false},
      {decline, false, true},      {decline_label, false, true}, {accept_label, true, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.click->objectName().toStdString());
    QTest::mouseClick(s.click, Qt::LeftButton, {}, s.click->rect().center());
    EXPECT_EQ(accept->isChecked(), s.accepted);
    EXPECT_EQ(decline->isChecked(), s.declined);
    EXPECT_EQ(page.nextButton()->isEnabled(), s.accepted);
  }
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  EXPECT_EQ(EndedWith(page), 1);
}

// ------------------------------------------------------------ installation page

struct InstallRig {
  explicit InstallRig(std::function<void(InstallView&, InstallState&)> body) {
    start = [this, body](InstallView& view, InstallState& s) {
      ++starts;
      return testing::WorkerOnThread([&view, &s, body] {
        body(view, s);
        view.InstallFinished();
      });
    };
  }
  InstallState state;
  InstallStarter start;
  int starts = 0;
};

TEST(InstallPageTest, StartsWhenShownFollowsTheWorkerAndCannotBeLeft) {
  App();
  std::atomic<bool> go_on{false};
  InstallRig rig([&](InstallView& view, InstallState&) {
    view.ShowStatus(u"Installing");
    view.SetProgressRange(0, 1000);
    for (int i = 0; i < 3; ++i) view.StepProgress();
    testing::Await(go_on);
  });
  InstallDialog page(Fonts(), rig.state, rig.start);
  auto* status = Control<QLabel>(page, "1008");
  auto* bar = Control<QProgressBar>(page, "1009");
  EXPECT_EQ(status->text(), QStringLiteral("Installation progress"));
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 0);  // a marquee
  EXPECT_EQ(rig.starts, 0);

  OpenAndShow(page);
  EXPECT_EQ(rig.starts, 1);
  EXPECT_TRUE(WaitFor([&] { return status->text() == QStringLiteral("Installing"); }));
  EXPECT_TRUE(WaitFor([&] { return page.ProgressSteps() == 3; })) << page.ProgressSteps();
  // The range and the steps leave the marquee as it is, for the whole installation.
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 0);

  // Each of these is handled as it comes, in this thread: a question would be
  // up, or the page ended, once the events they post are processed.
  BoxAnswerer answerer({QStringLiteral("Yes")});
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  QTest::mouseClick(page.cancelButton(), Qt::LeftButton);
  page.close();
  QTest::keyClick(&page, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_FALSE(testing::AnyMessageBoxShown());
  EXPECT_TRUE(answerer.seen().empty());  // not even the question
  EXPECT_TRUE(page.isVisible());
  EXPECT_EQ(page.result(), 0);

  go_on = true;
  EXPECT_EQ(EndedWith(page), 1);
  EXPECT_EQ(rig.starts, 1);
}

TEST(InstallPageTest, AWorkerErrorIsReportedInAMessageBoxAndEndsWithTwo) {
  App();
  InstallRig rig([](InstallView&, InstallState& s) {
    s.error = true;
    s.error_text = u"Failed to install. Installation aborted.";
  });
  InstallDialog page(Fonts(), rig.state, rig.start);
  BoxAnswerer answerer({QStringLiteral("OK")});
  OpenAndShow(page);
  EXPECT_EQ(EndedWith(page), 2);
  ASSERT_EQ(answerer.seen().size(), 1u);
  EXPECT_EQ(answerer.seen()[0].title, QStringLiteral("Tonvik Setup"));
  EXPECT_EQ(answerer.seen()[0].text, QStringLiteral("Failed to install. Installation aborted."));
  EXPECT_EQ(answerer.seen()[0].icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace tonvik::install
