// The one clock of all animations: a Qt timer on the GUI thread fires every 16 ms and advances
// every registered AnimationObject, then lets each repaint. The timer runs while objects are
// registered and stops on the first frame that finds none. Used on the GUI thread only; the
// first Instance() call must come from there.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <cstddef>
#include <vector>

#include "services/VpCoreExport.h"

class QTimerEvent;

namespace vpcore {

class AnimationObject;

class VPCORE_EXPORT AnimationManager : public QObject {
    Q_OBJECT

public:
    static constexpr int FRAMES_PER_SECOND = 60;
    static constexpr int INTERVAL_MS = 16;

    static AnimationManager& Instance();

    AnimationManager(const AnimationManager&) = delete;
    AnimationManager& operator=(const AnimationManager&) = delete;
    ~AnimationManager() override;

    // Objects are not owned; the same object may be registered more than once and is then
    // advanced once per entry. An owner unregisters its object before destroying it. Both may
    // be called from a delegate while a frame runs.
    void registerAnimationObject(AnimationObject* object);
    // Removes every entry of the object; an unknown object changes nothing.
    void unregisterAnimationObject(AnimationObject* object);

    // While paused no delegate runs and the time of the frames is dropped, so that resuming
    // does not jump.
    void pause(bool paused);
    bool isPaused() const;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    friend class AnimationManagerTestAccess;

    AnimationManager();

    void updateAnimationObjects(int elapsedMs);
    void updateDisplay();

    QElapsedTimer clock;  // time since the previous frame
    std::vector<AnimationObject*> animationObjects;
    bool paused = false;
    int timerId = 0;  // 0 while the clock is stopped
    // Index of the entry a frame is at, so that entries removed by a delegate are skipped
    // correctly; walking is false outside a frame.
    std::ptrdiff_t walkIndex = 0;
    bool walking = false;
};

}  // namespace vpcore
