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
        QPointer<QSoundEffect>& effect = effects_[int(sound)];
        if (!effect) {
            static const char* const files[] = {"aceito", "recusado", "pendente"};
            // Owned by the application, so that it goes before the audio system does.
            effect = new QSoundEffect(QCoreApplication::instance());
            effect->setSource(QUrl(QStringLiteral("qrc:/codbarium/sounds/%1.wav").arg(QLatin1String(files[int(sound)]))));
        }
        // A sound still playing starts over: the newest outcome is the one heard.
        effect->stop();
        effect->play();
    }

private:
    QPointer<QSoundEffect> effects_[3];
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
