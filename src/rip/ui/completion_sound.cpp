#include "rip/ui/completion_sound.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

#include "widgets/app_resources.h"

namespace tonvik {

void PlayCompletionSoundAsync() {
  // One effect for the process; a machine without sound output simply stays silent.
  static QSoundEffect* effect = [] {
    auto* e = new QSoundEffect(QCoreApplication::instance());
    e->setSource(SoundUrl());
    return e;
  }();
  effect->play();
}

}  // namespace tonvik
