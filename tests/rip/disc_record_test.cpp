// The disc record without a lookup: the disc's CD-Text, read by the disc
// check from a real image, and which record wins after a lookup.
#include "rip/disc_record.h"

#include <gtest/gtest.h>

#include "cdrom/image_fixture.h"
#include "core/app_exception.h"
#include "support/extras_sheet.h"

namespace tonvik {
namespace {

using tonvik::testing::SheetExtras;

// The demo disc (five tracks) with the given sheet additions, through the
// disc check.
cdrom::DiscState CheckedDisc(const SheetExtras& extras, const std::string& faults = "") {
  cdrom::testing::ImageFolder folder;
  const std::string cue = folder.MakePreset("demo", faults);
  tonvik::testing::AddSheetExtras(cue, extras);
  return cdrom::CheckDisc({u"D:\\"});
}

TEST(DiscRecord, CdTextOfTheDiscBecomesTheRecord) {
  const struct {
    const char* name;
    SheetExtras sheet;
    const char* faults;
    DiscMetadata want;  // titles empty: no record
  } cases[] = {
      {"every_track_titled",
       {"", "Five Small Pieces", "The Tonvik Demo Band",
        {{"", "One", "", 0}, {"", "Two", "Guest", 0}, {"", "Three"}, {"", "Four"}, {"", "Five"}}},
       "",
       {"The Tonvik Demo Band", "Five Small Pieces", "", "", "", {"One", "Two", "Three", "Four", "Five"}, ""}},
      // A track without a title of its own is named by its number.
      {"some_tracks_titled",
       {"", "Album", "", {{"", "One"}, {}, {"", "Three"}}},
       "",
       {"", "Album", "", "", "", {"One", "Track 02", "Three", "Track 04", "Track 05"}, ""}},
      // Album text alone names no track: no record.
      {"album_text_only", {"", "Album", "Band", {}}, "", {}},
      {"no_cd_text", {"4006381333931", "", "", {{"DEA1X0000001"}}}, "", {}},
      // The drive refuses CD-Text: no record, though the sheet has it.
      {"drive_refuses_cd_text", {"", "Album", "Band", {{"", "One"}}}, "nocdtext\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const cdrom::DiscState disc = CheckedDisc(c.sheet, c.faults);
    const DiscMetadata got = MetadataFromCdText(disc);
    EXPECT_EQ(got.artist, c.want.artist);
    EXPECT_EQ(got.album, c.want.album);
    EXPECT_EQ(got.titles, c.want.titles);
    EXPECT_TRUE(got.year.empty() && got.genre.empty() && got.comment.empty() && got.release_id.empty());
    // Without a lookup, and after one that failed or found nothing, the
    // record is the disc's; a lookup that found titles wins.
    EXPECT_EQ(ChooseDiscRecord(std::nullopt, disc).titles, c.want.titles);
    DiscMetadata nothing;
    nothing.artist = "Someone";
    const DiscMetadata after_empty = ChooseDiscRecord(nothing, disc);
    EXPECT_EQ(after_empty.titles, c.want.titles);
    EXPECT_EQ(after_empty.artist, c.want.titles.empty() ? "Someone" : c.want.artist);
    DiscMetadata found{"Looked Up", "Up", "1999", "", "", {"a", "b", "c", "d", "e"}, "rel"};
    const DiscMetadata after_found = ChooseDiscRecord(found, disc);
    EXPECT_EQ(after_found.titles, found.titles);
    EXPECT_EQ(after_found.artist, "Looked Up");
  }
}

TEST(DiscRecord, NoExtrasNoRecord) {
  cdrom::DiscState disc;  // made without the disc check
  EXPECT_TRUE(MetadataFromCdText(disc).titles.empty());
  EXPECT_TRUE(ChooseDiscRecord(std::nullopt, disc).titles.empty());
}

}  // namespace
}  // namespace tonvik
