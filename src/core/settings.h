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

// The options of the user key, each described once, in the order a load reads
// them. Every entry gives the record a field of the value's name and a writer
// Set<Name>.
//   DWORD(Name, default)     an int32_t field starting at `default`. A stored
//                            value of up to 4 bytes overwrites it byte by byte,
//                            whatever its type; anything longer is ignored.
//   STRING(Name, if_empty)   a std::u16string field. REG_SZ or REG_EXPAND_SZ
//                            with an even byte count, a terminator inside and
//                            at most 32,768 units; anything else loads as
//                            empty, and an empty value loads as `if_empty`.
// `if_empty` is evaluated (in settings.cpp) only when it is needed.
#define TONVIK_USER_SETTINGS(DWORD, STRING)   \
  DWORD(JitterCorrection, 0)                  \
  DWORD(EncoderThreads, 0)                    \
  DWORD(LockDisk, 0)                          \
  DWORD(SpinUpTime, 0)                        \
  DWORD(EjectWhenDone, 0)                     \
  DWORD(EncodeOnTheFly, 1)                    \
  DWORD(PreventClicks, 1)                     \
  DWORD(MP3ForceCBR, 0)                       \
  STRING(LastFolder, MusicFolder())           \
  DWORD(LastPreset, 1)                        \
  DWORD(LastMP3Value, 8)                      \
  DWORD(LastWMAValue, 15)                     \
  DWORD(LastOGGValue, 1)                      \
  DWORD(LastAPEValue, 2)                      \
  DWORD(LastFLACValue, 5)                     \
  DWORD(CDDBAutoConfig, 1)                    \
  STRING(CDDBServer, u"")                     \
  DWORD(CDDBMode, 0)                          \
  DWORD(CDDBProxyEnabled, 0)                  \
  STRING(CDDBProxyServer, u"")                \
  DWORD(CDDBProxyPort, 0)                     \
  STRING(CDDBProxyEmail, u"")                 \
  DWORD(CDDBProxyTimeout, 20)                 \
  DWORD(CDDBAutoLoad, 0)                      \
  DWORD(SetMaxSpeed, 0)                       \
  DWORD(AlwaysOverwrite, 0)                   \
  STRING(NameTemplate, kDefaultNameTemplate)  \
  DWORD(CreateArtistSubfolder, 0)             \
  DWORD(CreateAlbumSubfolder, 0)              \
  DWORD(BeepWhenDone, 0)                      \
  DWORD(OpenFolderWhenDone, 0)               \
  DWORD(AccurateRip, 1)                       \
  DWORD(CTDB, 1)                              \
  DWORD(WriteLog, 1)                          \
  DWORD(WriteCueSheet, 1)                     \
  DWORD(RipHiddenTrack, 1)

// The options of the machine key, which the installer writes: read only.
#define TONVIK_MACHINE_SETTINGS(STRING) \
  STRING(AppPath, u"")                  \
  STRING(HomeURL, u"")

struct Settings {
  // Constructs and loads at once.
  Settings() { Load(); }
  // The machine key, then the user key, each from one read of its hive. A user
  // without the key gets it created (the vendor key, then the product key).
  // Failures are silent: what cannot be read keeps its default.
  void Load();

#define TONVIK_SETTINGS_DWORD_FIELD(Name, default_value) int32_t Name = default_value;
#define TONVIK_SETTINGS_STRING_FIELD(Name, if_empty) std::u16string Name;
  TONVIK_USER_SETTINGS(TONVIK_SETTINGS_DWORD_FIELD, TONVIK_SETTINGS_STRING_FIELD)
  TONVIK_MACHINE_SETTINGS(TONVIK_SETTINGS_STRING_FIELD)
#undef TONVIK_SETTINGS_DWORD_FIELD
#undef TONVIK_SETTINGS_STRING_FIELD

  // Accessors: copies.
  std::u16string GetAppPath() const { return AppPath; }
  std::u16string GetNameTemplate() const { return NameTemplate; }

  // Writers, one for every option of the user key: store in the record first,
  // then in the user key (created when missing). Failures are silent.
#define TONVIK_SETTINGS_DWORD_WRITER(Name, default_value) void Set##Name(int32_t v);
#define TONVIK_SETTINGS_STRING_WRITER(Name, if_empty) void Set##Name(const std::u16string& v);
  TONVIK_USER_SETTINGS(TONVIK_SETTINGS_DWORD_WRITER, TONVIK_SETTINGS_STRING_WRITER)
#undef TONVIK_SETTINGS_DWORD_WRITER
#undef TONVIK_SETTINGS_STRING_WRITER
};

// True when the machine key exists and holds AppPath and HomeURL.
bool InstallCheck();

}  // namespace tonvik
