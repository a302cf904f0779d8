// The configuration dialog in process, on the offscreen platform: what it
// shows for what is stored, what OK and Cancel store, and in which order.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "config/main_dlg.h"
#include "core/settings.h"
#include "lookup/musicbrainz_lookup.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "rip/rip_session.h"
#include "rip/ui/format_dialog.h"
#include "support/temp_hives.h"
#include "widgets/command_link.h"
#include "widgets/help_support.h"
#include "widgets/theme.h"
#include "support/test_app.h"

namespace tonvik {
namespace {

using testing::TempHives;

using testing::App;

const std::string kUser =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quellbrook\\vandral]\n";

// The raw stored values, as a fresh reader of the hive sees them.
std::optional<int32_t> StoredDword(const char16_t* name) {
  auto key = reg::Key::Open(reg::Root::CurrentUser, kProductKey);
  uint32_t type;
  std::vector<uint8_t> d;
  if (!key || !key->Query(name, &type, &d) || d.size() != 4) return std::nullopt;
  return int32_t(d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24);
}

std::optional<std::u16string> StoredString(const char16_t* name) {
  auto key = reg::Key::Open(reg::Root::CurrentUser, kProductKey);
  uint32_t type;
  std::vector<uint8_t> d;
  if (!key || !key->Query(name, &type, &d) || d.size() < 2) return std::nullopt;
  std::u16string s(d.size() / 2 - 1, u'\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = char16_t(d[2 * i] | d[2 * i + 1] << 8);
  return s;
}

constexpr const char16_t* kOptionNames[] = {u"EjectWhenDone", u"MP3ForceCBR", u"BeepWhenDone",
                                            u"OpenFolderWhenDone"};

// Clicks a check box or radio button on its indicator, as a person would.
void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

class ConfigDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    hives_.Install((hives_.root() / "app").string() + "/");
  }
  void Store(const std::string& lines) { TempHives::WriteFile(hives_.user_hive(), kUser + lines); }
  std::vector<QCheckBox*> OptionBoxes(const CMainDlg& d) const {
    return {d.ejectBox(), d.forceCbrBox(), d.beepBox(), d.openFolderBox()};
  }
  TempHives hives_;
};

TEST_F(ConfigDialogTest, TheServerItShowsAndStoresIsTheOneTheLookupAsks) {
  const lookup::Service service;
  ASSERT_EQ(service.port, 80);
  EXPECT_EQ(ToUtf8(kLookupServiceAddress), "http://" + service.host + "/ws/2/");
}

// The controls a user sees, with their texts and states.
TEST_F(ConfigDialogTest, OpensWithTheControlsTextsAndStates) {
  Store("");
  CMainDlg dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tonvik configuration"));
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog.windowIcon().isNull());
  struct Control {
    const char* name;
    const char* text;
    bool enabled;
  };
  const Control controls[] = {
      {"group_1027", " CDDB settings ", true},
      {"radio_1000", "&Automatic configuration", true},
      {"radio_1001", "&Manual configuration (currently not available)", false},
      {"static_1023", "CDDB &server", false},
      {"edit_1002", "http://musicbrainz.org/ws/2/", false},
      {"check_1032", "Don't ask me and always load disk information automatically", true},
      {"link_1026", "Click here to learn more about CDDB settings", true},
      {"group_1028", " File names ", true},
      {"radio_1008", "Artist - Title", true},
      {"radio_1009", "Title", true},
      {"radio_1010", "(TrackNo) Title", true},
      {"radio_1011", "Custom", true},
      {"link_1029", "Click here to learn more about file naming", true},
      {"group_1030", " Options ", true},
      {"check_1013", "&Eject CD when done", true},
      {"check_1034", "Open destination folder when done", true},
      {"check_1033", "Beep when do&ne", true},
      {"check_1019", "&Force CBR for MP3 custom preset", true},
      {"ok_1", "&OK", true},
      {"cancel_2", "&Cancel", true},
      {"help_1022", "Help (F1)", true},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    auto* w = dialog.findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(w, nullptr);
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
    else if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    else if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
    else if (auto* e = qobject_cast<QLineEdit*>(w)) text = e->text();
    EXPECT_EQ(text.toStdString(), c.text);
    EXPECT_EQ(w->isEnabled(), c.enabled);
  }
  EXPECT_TRUE(dialog.findChild<QRadioButton*>(QStringLiteral("radio_1000"))->isChecked());
  EXPECT_TRUE(dialog.okButton()->isDefault());
  for (CommandLink* link : {dialog.cddbLink(), dialog.namingLink()}) {
    EXPECT_EQ(link->GetLook(), CommandLink::Look::AlwaysUnderline);
    EXPECT_TRUE(link->Underlined());
    EXPECT_TRUE(link->toolTip().isEmpty());
  }
}

// The reading order of a control: its group box's (top, then left), then its
// own line (the middle of its height) and its left edge.
struct ReadingPlace {
  int group_top, group_left, middle, left;
  auto operator<=>(const ReadingPlace&) const = default;
};

// Whatever the font makes of the dialog units: every control lies inside the
// dialog; a control inside a group box lies wholly inside it; no two
// controls, nor two group boxes, overlap; the names are unique; and Tab
// visits every control that takes the keyboard once, in reading order.
TEST_F(ConfigDialogTest, TheLayoutHoldsTogetherAndTabFollowsIt) {
  Store("");
  for (const int point_size : {8, 9, 12}) {
    SCOPED_TRACE(point_size);
    QFont font = QApplication::font();
    font.setPointSize(point_size);
    QApplication::setFont(font);
    CMainDlg dialog;
    const QRect inside = dialog.rect();
    std::vector<QGroupBox*> groups;
    std::vector<QWidget*> controls;
    std::set<QString> names;
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
      SCOPED_TRACE(w->objectName().toStdString());
      EXPECT_TRUE(names.insert(w->objectName()).second) << "name used twice";
      // The etched line runs the dialog's whole height, past its bottom edge.
      const QRect shown = w->objectName() == QLatin1String("line") ? w->geometry() & inside : w->geometry();
      EXPECT_TRUE(inside.contains(shown) && !shown.isEmpty()) << "outside the dialog";
      if (auto* g = qobject_cast<QGroupBox*>(w)) groups.push_back(g);
      else if (w->objectName() != QLatin1String("line") && w->objectName() != QLatin1String("picture_1035"))
        controls.push_back(w);
    }
    ASSERT_EQ(groups.size(), 3u);
    ASSERT_EQ(controls.size(), 19u);
    auto group_of = [&](QWidget* w) -> QGroupBox* {
      for (QGroupBox* g : groups) {
        if (g->geometry().intersects(w->geometry())) return g;
      }
      return nullptr;
    };
    for (size_t i = 0; i < groups.size(); ++i)
      for (size_t j = i + 1; j < groups.size(); ++j)
        EXPECT_FALSE(groups[i]->geometry().intersects(groups[j]->geometry()))
            << groups[i]->objectName().toStdString() << " " << groups[j]->objectName().toStdString();
    for (size_t i = 0; i < controls.size(); ++i) {
      QWidget* w = controls[i];
      if (QGroupBox* g = group_of(w))
        EXPECT_TRUE(g->geometry().contains(w->geometry()))
            << w->objectName().toStdString() << " sticks out of " << g->objectName().toStdString();
      for (size_t j = i + 1; j < controls.size(); ++j)
        EXPECT_FALSE(w->geometry().intersects(controls[j]->geometry()))
            << w->objectName().toStdString() << " overlaps " << controls[j]->objectName().toStdString();
    }

    // The controls a Tab can reach, in reading order, against the focus chain.
    auto place = [&](QWidget* w) {
      const QGroupBox* g = group_of(w);
      const QRect area = g ? g->geometry() : QRect(0, inside.bottom(), 0, 0);
      return ReadingPlace{area.top(), area.left(), w->geometry().center().y(), w->geometry().left()};
    };
    std::vector<QWidget*> reachable;
    for (QWidget* w : controls) {
      if (w->focusPolicy() & Qt::TabFocus) reachable.push_back(w);
    }
    std::stable_sort(reachable.begin(), reachable.end(),
                     [&](QWidget* a, QWidget* b) { return place(a) < place(b); });
    std::vector<QWidget*> chain;
    for (QWidget* w = reachable.front(); chain.size() < 2 * controls.size(); w = w->nextInFocusChain()) {
      if (std::find(reachable.begin(), reachable.end(), w) == reachable.end()) continue;
      if (!chain.empty() && w == chain.front()) break;
      chain.push_back(w);
    }
    auto names_of = [](const std::vector<QWidget*>& ws) {
      std::vector<std::string> out;
      for (QWidget* w : ws) out.push_back(w->objectName().toStdString());
      return out;
    };
    EXPECT_EQ(names_of(chain), names_of(reachable));
  }
  QApplication::setFont(QFont());
}

// A keyboard user tabs into the naming choices at the checked one, moves on
// with the arrow keys, and tabs past the custom edit box while it is disabled.
TEST_F(ConfigDialogTest, TabReachesTheCheckedNamingChoiceAndArrowsChangeIt) {
  Store("\"NameTemplate\"=\"%2\"\n");
  CMainDlg dialog;
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, 120000));
  auto focus = [] { return QApplication::focusWidget(); };
  const std::pair<Qt::Key, QWidget*> steps[] = {
      {Qt::Key_Tab, dialog.autoLoadBox()},   {Qt::Key_Tab, dialog.cddbLink()},
      {Qt::Key_Tab, dialog.namingRadio(1)},  {Qt::Key_Down, dialog.namingRadio(2)},
      {Qt::Key_Tab, dialog.namingLink()},    {Qt::Key_Backtab, dialog.namingRadio(2)},
      {Qt::Key_Down, dialog.namingRadio(3)}, {Qt::Key_Tab, dialog.customEdit()},
  };
  for (const auto& [key, expected] : steps) {
    QTest::keyClick(focus(), key);
    dialog.IdleUpdate();
    ASSERT_EQ(focus(), expected) << "after key " << key << ": " << focus()->objectName().toStdString();
  }
  EXPECT_EQ(dialog.NamingChoice(), 3);
}

// The themed background only where the theme can be had.
TEST_F(ConfigDialogTest, TheBackgroundIsThemedExactlyWhenThemesAreAvailable) {
  for (bool available : {true, false}) {
    SCOPED_TRACE(available);
    OverrideThemeAvailableForTesting(available);
    CMainDlg dialog;
    EXPECT_EQ(dialog.autoFillBackground(), available);
    EXPECT_EQ(dialog.palette().brush(QPalette::Window).gradient() != nullptr, available);
  }
  OverrideThemeAvailableForTesting(std::nullopt);
}

struct OpeningCase {
  const char* stored;  // the NameTemplate line, or nothing
  int choice;
  const char16_t* custom_text;
};

TEST_F(ConfigDialogTest, OpensOnTheNamingChoiceOfTheStoredTemplate) {
  const OpeningCase cases[] = {
      {"\"NameTemplate\"=\"%1 - %2\"\n", 0, u""},
      {"\"NameTemplate\"=\"%2\"\n", 1, u""},
      {"\"NameTemplate\"=\"(%6) %2\"\n", 2, u""},
      {"", 3, u"%1 - [%6] %2"},                        // nothing stored: the default
      {"\"NameTemplate\"=\"\"\n", 3, u"%1 - [%6] %2"},  // empty: the default too
      {"\"NameTemplate\"=\"%1-%2\"\n", 3, u"%1-%2"},    // close is not equal
      {"\"NameTemplate\"=\"%1 - %2 \"\n", 3, u"%1 - %2 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    Store(c.stored);
    CMainDlg dialog;
    EXPECT_EQ(dialog.NamingChoice(), c.choice);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dialog.namingRadio(i)->isChecked(), i == c.choice);
    EXPECT_EQ(dialog.customEdit()->text().toStdU16String(), c.custom_text);
    EXPECT_EQ(dialog.customEdit()->isEnabled(), c.choice == kCustomChoice);
  }
}

TEST_F(ConfigDialogTest, OpeningStoresTheAutomaticLookupServerWhateverWasThere) {
  Store("\"CDDBAutoConfig\"=dword:00000000\n\"CDDBServer\"=\"freedb.example:8880\"\n");
  CMainDlg dialog;
  EXPECT_EQ(StoredDword(u"CDDBAutoConfig"), 1);
  EXPECT_EQ(StoredString(u"CDDBServer"), std::u16string(kLookupServiceAddress));
  EXPECT_EQ(dialog.serverEdit()->text().toStdU16String(), kLookupServiceAddress);
}

struct CheckCase {
  int32_t stored;
  Qt::CheckState shown;
  int32_t written;  // by OK without a click
};

TEST_F(ConfigDialogTest, CheckBoxesShowTheStoredValueAndOkWritesWhatTheyShow) {
  const CheckCase cases[] = {
      {0, Qt::Unchecked, 0}, {1, Qt::Checked, 1}, {2, Qt::PartiallyChecked, 2},
      {3, Qt::Unchecked, 0}, {-1, Qt::Unchecked, 0}, {256, Qt::Unchecked, 0},
  };
  const char* names[] = {"CDDBAutoLoad", "EjectWhenDone", "MP3ForceCBR", "BeepWhenDone",
                         "OpenFolderWhenDone"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    std::string lines;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", uint32_t(c.stored));
    for (const char* n : names) lines += std::string("\"") + n + "\"=dword:" + hex + "\n";
    Store(lines);
    CMainDlg dialog;
    std::vector<QCheckBox*> boxes = OptionBoxes(dialog);
    boxes.insert(boxes.begin(), dialog.autoLoadBox());
    for (QCheckBox* box : boxes) EXPECT_EQ(box->checkState(), c.shown) << box->objectName().toStdString();
    dialog.Ok();
    EXPECT_EQ(dialog.Result(), 1);
    for (const char* n : names) EXPECT_EQ(StoredDword(QString::fromLatin1(n).toStdU16String().c_str()), c.written) << n;
  }
}

// An indeterminate box the user clicks becomes checked, then a plain two-state box.
TEST_F(ConfigDialogTest, ClickingAnIndeterminateBoxChecksItThenItToggles) {
  Store("\"BeepWhenDone\"=dword:00000002\n");
  CMainDlg dialog;
  Click(dialog.beepBox());
  EXPECT_EQ(dialog.beepBox()->checkState(), Qt::Checked);
  Click(dialog.beepBox());
  EXPECT_EQ(dialog.beepBox()->checkState(), Qt::Unchecked);
  Click(dialog.beepBox());
  EXPECT_EQ(dialog.beepBox()->checkState(), Qt::Checked);
  dialog.Ok();
  EXPECT_EQ(StoredDword(u"BeepWhenDone"), 1);
}

struct EditCase {
  const char* name;
  std::function<void(CMainDlg&)> act;
  bool edit_enabled;
  const char16_t* edit_text;
  const char16_t* stored;
};

// The idle update follows the radio buttons; OK stores the choice.
TEST_F(ConfigDialogTest, TheCustomEditFollowsTheChoiceAndOkStoresIt) {
  const EditCase cases[] = {
      {"Custom to Title", [](CMainDlg& d) { Click(d.namingRadio(1)); },
       false, u"%1-%2", u"%2"},
      {"Custom to Artist - Title", [](CMainDlg& d) { Click(d.namingRadio(0)); },
       false, u"%1-%2", u"%1 - %2"},
      {"Custom to (TrackNo) Title", [](CMainDlg& d) { Click(d.namingRadio(2)); },
       false, u"%1-%2", u"(%6) %2"},
      {"Custom cleared", [](CMainDlg& d) { d.customEdit()->clear(); }, true, u"", u""},
      {"Custom retyped", [](CMainDlg& d) {
         d.customEdit()->clear();
         QTest::keyClicks(d.customEdit(), QStringLiteral(" %3\\%6 %2. "));
       }, true, u" %3\\%6 %2. ", u" %3\\%6 %2. "},
      {"Title and back to Custom", [](CMainDlg& d) {
         Click(d.namingRadio(1));
         d.IdleUpdate();
         Click(d.namingRadio(3));
       }, true, u"%1-%2", u"%1-%2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Store("\"NameTemplate\"=\"%1-%2\"\n");
    CMainDlg dialog;
    ASSERT_TRUE(dialog.customEdit()->isEnabled());
    c.act(dialog);
    dialog.IdleUpdate();
    EXPECT_EQ(dialog.customEdit()->isEnabled(), c.edit_enabled);
    EXPECT_EQ(dialog.customEdit()->text().toStdU16String(), c.edit_text);
    dialog.Ok();
    EXPECT_EQ(StoredString(u"NameTemplate"), std::u16string(c.stored));
  }
}

// The message loop runs the idle update by itself: no explicit call.
TEST_F(ConfigDialogTest, TheMessageLoopRunsTheIdleUpdate) {
  Store("\"NameTemplate\"=\"%2\"\n");
  CMainDlg dialog;
  dialog.show();
  ASSERT_FALSE(dialog.customEdit()->isEnabled());
  Click(dialog.namingRadio(3));
  // A loop that waits for events, as the program's own does.
  QEventLoop loop;
  QTimer::singleShot(100, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_TRUE(dialog.customEdit()->isEnabled());
}

struct EndCase {
  const char* name;
  std::function<void(CMainDlg&)> end;
};

// Cancel, Escape and the close box end with 2; of everything changed only the
// lookup values written at opening are stored.
TEST_F(ConfigDialogTest, EveryWayOfCancellingStoresNothingMore) {
  const EndCase cases[] = {
      {"Cancel", [](CMainDlg& d) { QTest::mouseClick(d.cancelButton(), Qt::LeftButton); }},
      {"Escape", [](CMainDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
      {"close box", [](CMainDlg& d) { d.close(); }},
  };
  const std::string before =
      "\"CDDBAutoLoad\"=dword:00000001\n\"NameTemplate\"=\"%2\"\n\"EjectWhenDone\"=dword:00000001\n"
      "\"LastPreset\"=dword:00000002\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Store(before);
    CMainDlg dialog;
    QTimer::singleShot(0, &dialog, [&] {
      Click(dialog.autoLoadBox());
      Click(dialog.namingRadio(3));
      dialog.customEdit()->setText(QStringLiteral("%8"));
      for (QCheckBox* box : OptionBoxes(dialog)) Click(box);
      c.end(dialog);
    });
    EXPECT_EQ(dialog.Run(), 2);
    const std::string after = TempHives::ReadFile(hives_.user_hive());
    for (const char* line : {"\"CDDBAutoLoad\"=dword:00000001", "\"NameTemplate\"=\"%2\"",
                             "\"EjectWhenDone\"=dword:00000001", "\"LastPreset\"=dword:00000002",
                             "\"CDDBAutoConfig\"=dword:00000001",
                             "\"CDDBServer\"=\"http://musicbrainz.org/ws/2/\""})
      EXPECT_NE(after.find(line), std::string::npos) << line << " in\n" << after;
    for (const char16_t* name : {u"MP3ForceCBR", u"BeepWhenDone", u"OpenFolderWhenDone"})
      EXPECT_FALSE(StoredDword(name)) << ToUtf8(name);
  }
}

// OK writes one value at a time, in a fixed order: after each write the hive
// holds the new values up to that one and the old ones after it.
TEST_F(ConfigDialogTest, OkWritesEachValueOnItsOwnInOrder) {
  Store("\"NameTemplate\"=\"%2\"\n");
  CMainDlg dialog;
  Click(dialog.autoLoadBox());
  Click(dialog.namingRadio(2));
  for (QCheckBox* box : OptionBoxes(dialog)) Click(box);

  const std::u16string order[] = {u"CDDBAutoLoad", u"NameTemplate", u"EjectWhenDone",
                                  u"MP3ForceCBR", u"BeepWhenDone", u"OpenFolderWhenDone"};
  std::vector<std::u16string> seen;
  std::vector<std::vector<bool>> new_after_each;
  dialog.SetWriteObserver([&](const char16_t* name) {
    seen.push_back(name);
    std::vector<bool> fresh;
    fresh.push_back(StoredDword(u"CDDBAutoLoad") == 1);
    fresh.push_back(StoredString(u"NameTemplate") == u"(%6) %2");
    for (const char16_t* option : kOptionNames) fresh.push_back(StoredDword(option) == 1);
    new_after_each.push_back(fresh);
  });
  dialog.Ok();
  ASSERT_EQ(seen, std::vector<std::u16string>(std::begin(order), std::end(order)));
  for (size_t i = 0; i < new_after_each.size(); ++i)
    for (size_t j = 0; j < new_after_each[i].size(); ++j)
      EXPECT_EQ(new_after_each[i][j], j <= i) << "after " << ToUtf8(order[i]) << ": " << ToUtf8(order[j]);
  EXPECT_EQ(dialog.Result(), 1);
}

TEST_F(ConfigDialogTest, HelpButtonLinksAndF1OpenTheConfigurationContext) {
  TempHives::WriteFile(hives_.root() / "app" / "pellorin.html", "<html></html>\n");
  QList<QUrl> opened;
  CHelpSupport::SetOpener([&](const QUrl& url) {
    opened << url;
    return true;
  });
  {
    CMainDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog, 120000));
    QTest::mouseClick(dialog.helpButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.cddbLink(), Qt::LeftButton);
    QTest::mouseClick(dialog.namingLink(), Qt::LeftButton);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, 120000));
    QTest::keyClick(&dialog, Qt::Key_F1);
  }
  CHelpSupport::SetOpener(nullptr);
  ASSERT_EQ(opened.size(), 4);
  for (const QUrl& url : opened) EXPECT_EQ(url.fragment(), QStringLiteral("context-3"));
}

// The configuration program and the ripper's Format dialog write the same hive
// at the same time; each write re-reads it, so neither loses the other's value,
// whichever loaded its record first.
TEST_F(ConfigDialogTest, OkAndTheFormatDialogsPresetDoNotOverwriteEachOther) {
  for (bool config_first : {true, false}) {
    SCOPED_TRACE(config_first ? "config opened first" : "Format dialog opened first");
    Store("\"LastPreset\"=dword:00000001\n\"NameTemplate\"=\"%2\"\n");
    RipSession session;
    session.format.format_number = 6;
    std::unique_ptr<CMainDlg> config;
    std::unique_ptr<FormatDialog> format;
    if (config_first) config = std::make_unique<CMainDlg>();
    format = std::make_unique<FormatDialog>(session);
    if (!config) config = std::make_unique<CMainDlg>();
    Click(config->ejectBox());
    Click(config->namingRadio(2));
    format->presetList()->setCurrentIndex(3);  // stored at once
    config->Ok();
    EXPECT_EQ(StoredDword(u"LastPreset"), 3);
    format->presetList()->setCurrentIndex(0);
    EXPECT_EQ(StoredDword(u"LastPreset"), 0);
    EXPECT_EQ(StoredDword(u"EjectWhenDone"), 1);
    EXPECT_EQ(StoredString(u"NameTemplate"), u"(%6) %2");
  }
}

}  // namespace
}  // namespace tonvik
