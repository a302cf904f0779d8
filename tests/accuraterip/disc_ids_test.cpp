// The disc IDs, record name and address against the published discs (plain,
// enhanced, mixed mode, hidden first track, first track past sector 0), and
// the audio tracks a READ TOC yields.
#include <gtest/gtest.h>

#include "accuraterip/disc_ids.h"
#include "lookup/loopback.h"

namespace tonvik::accuraterip {
namespace {

// Audio tracks at `starts` (LSN), then data tracks at `data`, then the lead-out.
DiscToc Toc(const std::vector<int32_t>& starts, int32_t lead_out, const std::vector<int32_t>& data = {},
            bool data_first = false) {
  DiscToc toc;
  auto add = [&](const std::vector<int32_t>& list, bool is_data) {
    for (int32_t s : list) toc.tracks.push_back({int(toc.tracks.size()) + 1, s, is_data});
  };
  if (data_first) add(data, true);
  add(starts, false);
  if (!data_first) add(data, true);
  toc.lead_out = lead_out;
  return toc;
}

std::vector<int32_t> FromLba(std::vector<int32_t> lba) {
  for (int32_t& a : lba) a -= 150;
  return lba;
}

struct IdCase {
  const char* disc;
  DiscToc toc;
  const char* name;
  const char* path;  // empty: not published
};

const IdCase kIdCases[] = {
    {"four tracks (cdtoc)", Toc(FromLba({150, 11563, 25174, 45863}), 55370 - 150),
     "dBAR-004-0002189a-00087f33-1f02e004.bin", "a/9/8/dBAR-004-0002189a-00087f33-1f02e004.bin"},
    {"Ladyhawke, data track last",
     Toc({0, 15537, 31691, 50866, 66466, 81202, 99409, 115920, 133093, 149847, 161560, 177682}, 210385, {207106}),
     "dBAR-012-0013bd5a-00b8d489-c60af50d.bin", "a/5/d/dBAR-012-0013bd5a-00b8d489-c60af50d.bin"},
    {"Liquid, enhanced",
     Toc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305}, 333651, {281585}),
     "dBAR-010-00164419-00b9f6e2-9e11600b.bin", ""},
    {"Mortal Kombat Trilogy, mixed mode",
     Toc(FromLba({66728,  76502,  85963,  93760,  104048, 116066, 124743, 134206, 142916, 151852,
                  160720, 169425, 178731, 188459, 196711, 206354, 214845, 223686, 225746, 226384,
                  232668, 239447, 239931, 244989, 254264, 260066, 261222, 261674}),
         261976 - 150, {0}, true),
     "dBAR-028-00517a54-05a845d2-af0da31d.bin", ""},
    {"hidden first track",
     Toc(FromLba({15370, 35019, 51532, 69190, 84292, 96826, 112527, 132448, 148595, 168072, 185539, 203331,
                  222103}),
         243216),
     "dBAR-013-001af2de-0105994e-ad0be00d.bin", "e/d/2/dBAR-013-001af2de-0105994e-ad0be00d.bin"},
    {"enhanced (cdtoc)",
     Toc({0, 15047, 30797, 45995, 60397, 78942, 94607, 108395, 125382, 146117, 162905, 177397, 194782}, 332850,
         {220352}),
     "dBAR-013-001802ed-00f8ee31-b611560e.bin", ""},
    {"first track at sector 32",
     Toc({32, 21180, 25110, 39232, 57730, 76330, 79185, 82515, 96282, 105612, 110650, 124772, 141292, 149317,
          159710, 172327},
         180325),
     "dBAR-016-0018be61-012232a8-d6096410.bin", ""},
    {"one track", Toc({0}, 279037), "dBAR-001-000441fd-000883fb-020e8801.bin", ""},
    {"one track and a data track", Toc({0}, 90778 + 11400 + 164721, {90778 + 11400}),
     "dBAR-001-00041293-00082527-100de602.bin", ""},
};

TEST(DiscIdsTest, PublishedDiscs) {
  for (const IdCase& c : kIdCases) {
    SCOPED_TRACE(c.disc);
    const DiscIds ids = ComputeDiscIds(c.toc);
    EXPECT_EQ(RecordName(ids), c.name);
    const std::string path = RecordPath(ids);
    if (*c.path) {
      EXPECT_EQ(path, c.path);
    }
    EXPECT_EQ(RecordUrl(ids), "http://www.accuraterip.com/accuraterip/" + path);
  }
}

// The wrong readings of an enhanced or mixed-mode disc give other IDs: the
// session's end as lead-out, the data track summed, TOC numbers as multipliers.
TEST(DiscIdsTest, DataTracksNeitherCountNorNumber) {
  const IdCase& liquid = kIdCases[2];
  DiscToc session_end = liquid.toc;
  session_end.tracks.pop_back();
  session_end.lead_out = 270335 - 150;
  EXPECT_EQ(RecordName(ComputeDiscIds(session_end)), "dBAR-010-00154c2f-00af4fd4-890e120a.bin");

  const IdCase& mixed = kIdCases[3];
  DiscToc as_audio = mixed.toc;
  as_audio.tracks[0].data = false;
  EXPECT_EQ(ComputeDiscIds(as_audio).id2, 0x05f9c027u);
}

TEST(DiscIdsTest, ReadTocKeepsEveryTrackAndTheFinalLeadOut) {
  const auto toc = DiscTocFromReadToc(testing::MakeToc({0, 12617, 281585}, 333651, {3}));
  ASSERT_TRUE(toc);
  ASSERT_EQ(toc->tracks.size(), 3u);
  EXPECT_EQ(toc->tracks[1].number, 2);
  EXPECT_EQ(toc->tracks[1].start, 12617);
  EXPECT_FALSE(toc->tracks[1].data);
  EXPECT_TRUE(toc->tracks[2].data);
  EXPECT_EQ(toc->lead_out, 333651);

  EXPECT_FALSE(DiscTocFromReadToc({}));
  std::vector<uint8_t> cut = testing::MakeToc({0, 15000}, 30000);
  cut.resize(cut.size() - 8);  // no lead-out
  EXPECT_FALSE(DiscTocFromReadToc(cut));
}

struct LayoutCase {
  const char* disc;
  DiscToc toc;
  std::vector<int> slots;
  std::vector<int32_t> sectors;
};

TEST(DiscIdsTest, AudioTracksOfEachLayout) {
  const LayoutCase cases[] = {
      {"plain", Toc({0, 1000, 3000}, 6000), {0, 1, 2}, {1000, 2000, 3000}},
      {"hidden first track", Toc({500, 1000}, 6000), {0, 1}, {500, 5000}},
      // The last audio track ends at the session gap before the data track.
      {"enhanced", Toc({0, 1000}, 30000, {1000 + 4000 + 11400}), {0, 1}, {1000, 4000}},
      // Audio after a data track keeps its TOC slot.
      {"mixed mode", Toc({9000, 12000}, 20000, {0}, true), {1, 2}, {3000, 8000}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.disc);
    const auto audio = AudioTracks(c.toc);
    ASSERT_EQ(audio.size(), c.slots.size());
    for (size_t i = 0; i < audio.size(); ++i) {
      EXPECT_EQ(audio[i].index, int(i) + 1);
      EXPECT_EQ(audio[i].record_slot, c.slots[i]);
      EXPECT_EQ(audio[i].sectors, c.sectors[i]);
      EXPECT_EQ(audio[i].first, i == 0);
      EXPECT_EQ(audio[i].last, i + 1 == audio.size());
    }
  }
}

}  // namespace
}  // namespace tonvik::accuraterip
