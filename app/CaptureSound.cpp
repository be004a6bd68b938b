#include "app/CaptureSound.h"

#include "support/Resources.h"

#include <QSoundEffect>
#include <QUrl>

namespace quorvel {

TCaptureSound::TCaptureSound() = default;

TCaptureSound::~TCaptureSound() {
    delete FEffect;
}

void TCaptureSound::Play() {
    if (FEffect == nullptr) {
        FEffect = new QSoundEffect();
        FEffect->setSource(
            QUrl(QStringLiteral("qrc") + QString::fromLatin1(Resources::CaptureSound)));
    }
    if (FEffect->isPlaying())
        FEffect->stop();
    FEffect->play();
}

} // namespace quorvel
