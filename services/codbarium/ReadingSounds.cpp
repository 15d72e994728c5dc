#include "ReadingSounds.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace {

class TEffectSounds : public TReadingSounds {
public:
    void Play(TReadingSound sound) override
    {
        QPointer<QSoundEffect>& effect = sound == TReadingSound::Accepted ? accepted_ : refused_;
        if (!effect) {
            // Owned by the application, so that it goes before the audio system does.
            effect = new QSoundEffect(QCoreApplication::instance());
            effect->setSource(QUrl(sound == TReadingSound::Accepted ? QStringLiteral("qrc:/codbarium/sounds/aceito.wav")
                                                                    : QStringLiteral("qrc:/codbarium/sounds/recusado.wav")));
        }
        // A sound still playing starts over: the newest outcome is the one heard.
        effect->stop();
        effect->play();
    }

private:
    QPointer<QSoundEffect> accepted_;
    QPointer<QSoundEffect> refused_;
};

TReadingSounds* installed = nullptr;

} // namespace

TReadingSounds& ReadingSounds()
{
    static TEffectSounds standard;
    return installed ? *installed : standard;
}

TReadingSounds* InstallReadingSounds(TReadingSounds* player)
{
    TReadingSounds* previous = installed;
    installed = player;
    return previous;
}
