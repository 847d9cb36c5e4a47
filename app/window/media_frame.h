// The media frame's side of the media back-end: the back-end's completion notifications travel to the frame as
// events, and the media notification hook on the frame receives them.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

namespace sonivex {

// A completion notification of the media back-end: the message and its two parameters.
class MediaNotificationEvent : public QEvent {
public:
    MediaNotificationEvent(int message, std::intptr_t first, std::intptr_t second);

    // The event type, registered with Qt the first time it is asked for.
    static QEvent::Type Type();

    int message;
    std::intptr_t first;
    std::intptr_t second;
};

// Posts a notification to the media frame. Safe to call from any thread (the back-end's player thread calls
// it); the frame's thread delivers it. A null frame takes nothing.
void PostMediaNotification(QObject* frame, int message, std::intptr_t first, std::intptr_t second);

// The media notification hook as an event filter on the frame: every notification goes through
// MediaNotifyHook, which consumes the completion notifications and passes every other message on to the frame's
// own event handling.
class MediaHookFilter : public QObject {
    Q_OBJECT

public:
    // `window` is the frame's window handle, handed to the hook with every message.
    MediaHookFilter(std::intptr_t window, QObject* parent);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::intptr_t window_;
};

}  // namespace sonivex
