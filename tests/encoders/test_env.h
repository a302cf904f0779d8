// Shared helpers of the encoder tests: a private registry and folder per test,
// deterministic PCM, running the independent command-line tools.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/shell.h"
#include "core/settings.h"
#include "output/disc_metadata.h"
#include "encoders/encoder.h"
#include "encoders/lame_binding.h"
#include "encoders/wma_binding.h"
#include "encoders/selection.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "output/overwrite.h"

namespace tonvik::test {

namespace fs = std::filesystem;

inline std::string LameBuildFolder() { return TONVIK_BINARY_DIR "/src/modules/lame_enc/"; }
inline std::string WmvcoreBuildFolder() { return TONVIK_BINARY_DIR "/src/modules/wmvcore/"; }

// A temporary folder holding the hives and the output; removed afterwards.
class Sandbox {
 public:
  Sandbox() {
    char tmpl[] = "/tmp/tonvik-enc-XXXXXX";
    root_ = mkdtemp(tmpl);
    fs::create_directories(root_ + "/etc/Quellbrook");
    fs::create_directories(root_ + "/home/Quellbrook");
    fs::create_directories(root_ + "/out");
    setenv("XDG_CONFIG_DIRS", (root_ + "/etc").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/home").c_str(), 1);
    SetAppPath(LameBuildFolder());
    SetSystemModulesDir(WmvcoreBuildFolder());
    ForgetLameBinding();
    ForgetWmaBinding();
  }
  ~Sandbox() {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  void SetAppPath(const std::string& folder) {
    auto key = reg::Key::Create(reg::Root::LocalMachine, kProductKey);
    key->SetString(u"AppPath", FromUtf8(folder));
    key->SetString(u"HomeURL", u"http://localhost/");
  }
  // Where wmvcore.so is loaded from (the test program's folder has none).
  void SetSystemModulesDir(const std::string& folder) {
    reg::Key::Create(reg::Root::LocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion")
        ->SetString(u"SystemModulesDir", FromUtf8(folder));
    ForgetWmaBinding();
  }
  void SetUserDword(const char16_t* name, int32_t value) {
    reg::Key::Create(reg::Root::CurrentUser, kProductKey)->SetDword(name, value);
  }
  std::string Out(const std::string& name) const { return root_ + "/out/" + name; }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

// Stereo 16-bit PCM: two tones and a little noise, so every codec has work.
inline std::vector<uint8_t> MakePcm(size_t frames, uint32_t seed = 1) {
  std::vector<uint8_t> pcm(frames * 4);
  uint32_t noise = seed;
  for (size_t i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const double t = static_cast<double>(i) / 44100.0;
    const int n = static_cast<int>((noise >> 16) % 2001) - 1000;
    const int l = static_cast<int>(12000 * __builtin_sin(2 * 3.14159265 * 440 * t)) + n;
    const int r = static_cast<int>(9000 * __builtin_sin(2 * 3.14159265 * 660 * t)) - n;
    pcm[4 * i] = static_cast<uint8_t>(l);
    pcm[4 * i + 1] = static_cast<uint8_t>(l >> 8);
    pcm[4 * i + 2] = static_cast<uint8_t>(r);
    pcm[4 * i + 3] = static_cast<uint8_t>(r >> 8);
  }
  return pcm;
}

// Feeds the PCM in the rip job's 61152-byte chunks.
inline void Feed(CEncoder& encoder, const std::vector<uint8_t>& pcm, size_t chunk = 61152) {
  for (size_t at = 0; at < pcm.size(); at += chunk) {
    const uint32_t n = static_cast<uint32_t>(std::min(chunk, pcm.size() - at));
    uint32_t taken = 0;
    encoder.Write(pcm.data() + at, n, &taken);
    if (taken != n) throw std::runtime_error("Write took fewer bytes");
  }
}

// The target of an encoder of the format and choice writing to path.
inline EncoderTarget Target(const std::string& path, EncoderSelection format, bool force_cbr = false,
                            OverwritePolicy* overwrite = nullptr) {
  return EncoderTarget{FromUtf8(path), format, force_cbr, overwrite};
}

// The tags of track index + 1 of a disc record (empty tags without titles).
inline std::shared_ptr<CTagData> Tags(const DiscMetadata& disc, uint32_t index) {
  return CreateTagData(std::make_shared<const DiscMetadata>(disc), index);
}

// Encodes the PCM with the given format and preset into path.
inline void EncodeTo(int format, int preset, int custom, const std::string& path,
                     const std::vector<uint8_t>& pcm, std::shared_ptr<CTagData> tags, bool force_cbr = false) {
  auto encoder = CreateEncoder(Target(path, {format, preset, custom}, force_cbr), std::move(tags));
  Feed(*encoder, pcm);
  encoder->Finish();
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using tonvik::testing::Shell;

// The files of a folder, names only.
inline std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tonvik::test
