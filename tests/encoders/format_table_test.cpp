// The format table is the single truth the factory, the encoders, the Format
// dialog and the naming read: every row must be whole and agree with itself.
#include <gtest/gtest.h>

#include <set>

#include "core/app_exception.h"
#include "encoders/encoder.h"
#include "encoders/format_table.h"
#include "encoders/selection.h"
#include "test_env.h"

namespace tonvik {
namespace {

TEST(FormatTable, EveryRowIsWholeAndConsistent) {
  std::set<std::u16string> extensions;
  ASSERT_EQ(AllFormats().size(), 6u);
  for (const FormatInfo& f : AllFormats()) {
    SCOPED_TRACE(ToUtf8(f.name));
    EXPECT_EQ(FindFormat(f.number()), &f);
    EXPECT_EQ(&GetFormat(f.id), &f);
    ASSERT_NE(f.extension, nullptr);
    EXPECT_EQ(f.extension[0], u'.');
    EXPECT_TRUE(extensions.insert(f.extension).second) << "extension used twice";
    EXPECT_EQ(f.takes_tags, f.id != Format::Wav);
    ASSERT_NE(f.quality_word, nullptr);
    if (!f.has_quality) {
      EXPECT_TRUE(f.custom.empty());
      EXPECT_EQ(f.slider_value_name, nullptr);
      continue;
    }
    // A format with a quality has slider rows, three descriptions and a
    // registry value remembering the slider, whose name is the field's.
    EXPECT_GE(f.custom.size(), 4u);
    for (const char16_t* description : f.presets) EXPECT_NE(description, nullptr);
    ASSERT_NE(f.slider_value_name, nullptr);
    EXPECT_NE(f.slider_value, nullptr);
    EXPECT_NE(f.store_slider_value, nullptr);
    // Rows are in ascending order of what they hand the encoder.
    for (size_t i = 1; i < f.custom.size(); ++i) EXPECT_LT(f.custom[i - 1].value, f.custom[i].value);
    // Low, Normal, High rise too.
    EXPECT_LE(f.preset_values[0], f.preset_values[1]);
    EXPECT_LE(f.preset_values[1], f.preset_values[2]);
  }
}

// Where a new user's Format dialog opens: the preset is one of Low, Normal,
// High and Custom, and no slider position is before the first row (one past
// the last row, as WMA's 15 of 8, shows at the right end).
TEST(FormatTable, TheDefaultPresetAndSliderPositionsAreChoicesTheDialogHas) {
  test::Sandbox sandbox;
  const Settings settings;
  EXPECT_GE(settings.LastPreset, 0);
  EXPECT_LE(settings.LastPreset, 3);
  for (const FormatInfo& f : AllFormats()) {
    if (!f.has_quality) continue;
    SCOPED_TRACE(ToUtf8(f.name));
    EXPECT_GE(settings.*f.slider_value, 0);
  }
}

TEST(FormatTable, TheSliderValueNameIsTheValueTheFieldReadsAndTheWriterWrites) {
  test::Sandbox sandbox;
  int32_t position = 1;
  for (const FormatInfo& f : AllFormats()) {
    if (!f.has_quality) continue;
    SCOPED_TRACE(ToUtf8(f.name));
    Settings settings;
    (settings.*f.store_slider_value)(position);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    auto key = reg::Key::Open(reg::Root::CurrentUser, kProductKey);
    ASSERT_TRUE(key && key->Query(f.slider_value_name, &type, &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{uint8_t(position), 0, 0, 0}));
    EXPECT_EQ(Settings().*f.slider_value, position);
    ++position;
  }
}

TEST(FormatTable, PresetsAndCustomHandTheEncoderTheirValues) {
  struct Case {
    Format format;
    int low, normal, high;
  };
  // What each choice means to the encoder; Monkey's Audio High is 3000, the
  // "Extra high" level 4000 is reachable only through Custom.
  const Case cases[] = {{Format::Mp3, 80000, 192000, 256000}, {Format::Wma, 10, 50, 74},
                        {Format::Ogg, 0, 500, 800},           {Format::Ape, 1000, 2000, 3000},
                        {Format::Flac, 0, 5, 8}};
  for (const Case& c : cases) {
    const FormatInfo& f = GetFormat(c.format);
    SCOPED_TRACE(ToUtf8(f.name));
    EncoderSelection sel;
    const int expected[] = {c.low, c.normal, c.high};
    for (int preset = 0; preset < 3; ++preset) {
      sel.preset_index = preset;
      sel.custom_value = -7;
      EXPECT_EQ(SelectedValue(f, sel), expected[preset]);
    }
    sel.preset_index = 3;
    sel.custom_value = f.custom.back().value;
    EXPECT_EQ(SelectedValue(f, sel), f.custom.back().value);
  }
  EXPECT_EQ(GetFormat(Format::Ape).custom.back().value, 4000);
}

TEST(FormatTable, FactoryAndExtensionFollowTheRowOfTheSelectedFormat) {
  test::Sandbox sandbox;
  for (const FormatInfo& f : AllFormats()) {
    SCOPED_TRACE(ToUtf8(f.name));
    EXPECT_EQ(GetTargetExtension(f.number()), f.extension);
    const EncoderTarget target{FromUtf8(sandbox.root() + "/out/factory") + f.extension, {f.number(), 1, 0}};
    if (!f.factory) {
      EXPECT_THROW(CreateEncoder(target, nullptr), EncoderException);
      continue;
    }
    auto encoder = CreateEncoder(target, std::make_shared<CEmptyTagData>());
    EXPECT_EQ(encoder->sample_rate, 44100);
    EXPECT_EQ(encoder->channels, 2);
    EXPECT_EQ(encoder->bits_per_sample, 16);
    EXPECT_EQ(encoder->tags != nullptr, f.takes_tags);
  }
  for (int outside : {0, 7}) {
    EXPECT_THROW(GetTargetExtension(outside), EncoderException);
    EXPECT_THROW(CreateEncoder(EncoderTarget{u"/tmp/x", {outside, 1, 0}}, nullptr), EncoderException);
  }
}

}  // namespace
}  // namespace tonvik
