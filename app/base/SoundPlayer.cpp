#include "base/SoundPlayer.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>

#include "base/InstallFolder.h"
#include "services/Logger.h"

SoundPlayer& SoundPlayer::instance() {
    static SoundPlayer* player = [] {
        QCoreApplication* app = QCoreApplication::instance();
        if (QThread::currentThread() == app->thread()) {
            // A child of the application object, so its effects go before the multimedia
            // back end does.
            return new SoundPlayer(app);
        }
        // First asked for on a worker thread: it still plays on the GUI thread.
        auto* created = new SoundPlayer(nullptr);
        created->moveToThread(app->thread());
        return created;
    }();
    return *player;
}

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

void SoundPlayer::play(const QString& file) {
    if (QThread::currentThread() == thread()) {
        playOnGuiThread(file);
    } else {
        QMetaObject::invokeMethod(this, "playOnGuiThread", Qt::QueuedConnection,
                                  Q_ARG(QString, file));
    }
}

bool SoundPlayer::isAvailable() {
    if (available < 0) {
        available = QMediaDevices::audioOutputs().isEmpty() ? 0 : 1;
        if (available == 0) {
            vpcore::Logger::Instance().log("INFO", "No audio output device: sounds are off.");
        }
    }
    return available == 1;
}

void SoundPlayer::playOnGuiThread(const QString& file) {
    emit soundRequested(file);
    if (!isAvailable()) {
        return;
    }
    QSoundEffect* effect = effects.value(file, nullptr);
    if (effect == nullptr) {
        const QString path = installFolder() + "/" + file;
        if (!QFileInfo::exists(path)) {
            vpcore::Logger::Instance().log("WARN", "Sound file not found: " + path.toStdString());
            return;
        }
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(path));
        effects.insert(file, effect);
    }
    effect->play();
}
