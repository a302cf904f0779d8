// The program's resources in the Qt resource system, each file named by its
// resource number: PNG pictures (":/png/229.png"), icons (":/icon/128-32.png",
// tray frames ":/icon/244.png" .. ":/icon/255.png"), the completion sound
// (":/sound/221.wav") and the help document.
#pragma once
#include <QByteArray>
#include <QIcon>
#include <QString>
#include <QUrl>

namespace tonvik {

inline constexpr int kAppIconId = 128;
inline constexpr int kCompletionSoundId = 221;
inline constexpr int kFirstTrayIconId = 244;
inline constexpr int kTrayIconCount = 12;
inline constexpr int kFirstAnimationFrameId = 256;
inline constexpr int kAnimationFrameCount = 8;

// Registers the resources linked into this program; safe to call any number of
// times from any thread. Every helper below calls it first.
void InitResources();

QString PngResourcePath(int resource_id);
// Icon 128 at 16, 32, 48 and 256 pixels.
QIcon AppIcon();
// Frame `index` (0..11) of the turning tray disc, resources 244..255.
QIcon TrayIcon(int index);
// The WAV bytes of a sound resource, and the address a media player can open.
QByteArray SoundBytes(int resource_id = kCompletionSoundId);
QUrl SoundUrl(int resource_id = kCompletionSoundId);
QString SoundResourcePath(int resource_id = kCompletionSoundId);
// The help document as shipped in the resources (installed copy: AppPath).
QByteArray HelpDocumentBytes();

}  // namespace tonvik
