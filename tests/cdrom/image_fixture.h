// Test helper: disc images written into a temporary folder, mapped to drive
// letters in a temporary user hive.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disc_image.h"
#include "platform/registry.h"
#include "support/temp_hives.h"

namespace tonvik::cdrom::testing {

using discimage::ImageTrack;

class ImageFolder {
 public:
  std::filesystem::path dir() const { return hives_.root() / "images"; }

  // Writes the image as <name>.cue (plus its faults file when given) and
  // maps the letter to it.
  std::string Make(const std::string& name, const std::vector<ImageTrack>& tracks,
                   const std::string& faults = "", char16_t letter = u'D', bool per_track = false) {
    std::filesystem::create_directories(dir());
    const std::string cue = (dir() / (name + ".cue")).string();
    std::string error;
    EXPECT_TRUE(discimage::WriteDiscImage(cue, tracks, per_track, &error)) << error;
    // The faults of the image opened next: the drive reads them from the
    // file TONVIK_FAULTS names.
    const std::string plan = cue + ".faults";
    std::ofstream(plan) << faults;
    ::setenv("TONVIK_FAULTS", plan.c_str(), 1);
    Map(letter, cue);
    return cue;
  }
  std::string MakePreset(const std::string& preset, const std::string& faults = "", char16_t letter = u'D') {
    std::vector<ImageTrack> tracks;
    EXPECT_TRUE(discimage::Preset(preset, &tracks));
    return Make(preset, tracks, faults, letter);
  }
  void Map(char16_t letter, const std::string& path) {
    auto key = reg::Key::Create(reg::Root::CurrentUser, u"Software\\Quellbrook\\vandral\\Drives");
    ASSERT_TRUE(key);
    std::u16string value(path.begin(), path.end());
    ASSERT_TRUE(key->SetString(std::u16string(1, letter), value));
  }
  static std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

 private:
  tonvik::testing::TempHives hives_;
};

}  // namespace tonvik::cdrom::testing
