// Plays the program's short sound files with QSoundEffect, on the GUI thread that owns the
// effects; play() may be called from any thread and hands the file over to that thread. With
// no audio output device (a server, the virtual display) nothing is played and nothing waits.
// It lives on the GUI thread, whichever thread asks for it first.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QSoundEffect;

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    static SoundPlayer& instance();

    // file: relative to the install folder (installFolder()), e.g. "resources/gauge_turn.wav".
    void play(const QString& file);

    // Whether an audio output device exists; asked once. GUI thread.
    bool isAvailable();

signals:
    // Emitted on the GUI thread for every file asked for, whether or not a device plays it.
    void soundRequested(const QString& file);

private:
    explicit SoundPlayer(QObject* parent);

    Q_INVOKABLE void playOnGuiThread(const QString& file);

    QHash<QString, QSoundEffect*> effects;  // children of the player, one per file
    int available = -1;                     // -1 not asked yet, 0 no device, 1 a device
};
