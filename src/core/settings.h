// The record of all registry-backed options. Each owner (a dialog, the rip job,
// an overwrite check) loads its own record; nothing is shared between threads.
// Single values are written back the moment they change, one writer each.
#pragma once
#include <cstdint>
#include <string>

namespace tonvik {

inline constexpr char16_t kProductKey[] = u"Software\\Quellbrook\\vandral";
inline constexpr char16_t kVendorKey[] = u"Software\\Quellbrook";
inline constexpr char16_t kDefaultNameTemplate[] = u"%1 - [%6] %2";

struct Settings {
  // Constructs and loads at once.
  Settings() { Load(); }
  void Load();

  int32_t JitterCorrection = 0;
  int32_t LockDisk = 0;
  int32_t SpinUpTime = 0;
  int32_t EjectWhenDone = 0;
  int32_t EncodeOnTheFly = 1;
  int32_t PreventClicks = 1;
  int32_t MP3ForceCBR = 0;
  std::u16string LastFolder;
  int32_t LastPreset = 1;
  int32_t LastMP3Value = 8;
  int32_t LastWMAValue = 15;
  int32_t LastOGGValue = 1;
  int32_t LastAPEValue = 2;
  int32_t LastFLACValue = 5;
  int32_t CDDBAutoConfig = 1;
  std::u16string CDDBServer;
  int32_t CDDBMode = 0;
  int32_t CDDBProxyEnabled = 0;
  std::u16string CDDBProxyServer;
  int32_t CDDBProxyPort = 0;
  std::u16string CDDBProxyEmail;
  int32_t CDDBProxyTimeout = 20;
  std::u16string NameTemplate;
  int32_t CDDBAutoLoad = 0;
  int32_t SetMaxSpeed = 0;
  int32_t AlwaysOverwrite = 0;
  int32_t CreateArtistSubfolder = 0;
  int32_t CreateAlbumSubfolder = 0;
  int32_t BeepWhenDone = 0;
  int32_t OpenFolderWhenDone = 0;
  // From the machine key.
  std::u16string AppPath;
  std::u16string HomeURL;

  // Accessors: copies.
  std::u16string GetAppPath() const { return AppPath; }
  std::u16string GetNameTemplate() const { return NameTemplate; }

  // Writers: store in the record first, then in the user key. Failures are silent.
  void SetEjectWhenDone(int32_t v);
  void SetMP3ForceCBR(int32_t v);
  void SetLastFolder(const std::u16string& v);
  void SetLastPreset(int32_t v);
  void SetLastMP3Value(int32_t v);
  void SetLastWMAValue(int32_t v);
  void SetLastOGGValue(int32_t v);
  void SetLastAPEValue(int32_t v);
  void SetLastFLACValue(int32_t v);
  void SetCDDBAutoConfig(int32_t v);
  void SetCDDBServer(const std::u16string& v);
  void SetNameTemplate(const std::u16string& v);
  void SetCDDBAutoLoad(int32_t v);
  void SetCreateArtistSubfolder(int32_t v);
  void SetCreateAlbumSubfolder(int32_t v);
  void SetBeepWhenDone(int32_t v);
  void SetOpenFolderWhenDone(int32_t v);
};

// True when the machine key exists and holds AppPath and HomeURL.
bool InstallCheck();

}  // namespace tonvik
