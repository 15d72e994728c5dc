#pragma once
// The sounds of the IUM reading screen: one for an accepted scan, another
// for a refused one, a third for one kept to be sent when the server is
// back, so that a user with the scanner in hand knows the outcome without
// looking.
//
// TReadingSounds is the player the screen asks; ReadingSounds() is the one
// installed: by default QSoundEffect over the short sounds shipped in the
// library's resources (loaded on first use, so nothing touches the audio
// system until a scan is read). Tests install a double with
// InstallReadingSounds, which does not take ownership and returns the
// previous player. A player that cannot play (no audio device) stays silent.
//
// Whether sounds play at all is the host's setting (Varneth::ScannerSounds);
// the screen asks it, the player does not.
enum class TReadingSound { Accepted, Refused, Pending };

class TReadingSounds {
public:
    virtual ~TReadingSounds() = default;
    virtual void Play(TReadingSound sound) = 0;
};

TReadingSounds& ReadingSounds();
// nullptr puts the default player back.
TReadingSounds* InstallReadingSounds(TReadingSounds* player);
