#include "media_frame.h"

#include <QCoreApplication>

#include "playback/hook.h"

namespace sonivex {

MediaNotificationEvent::MediaNotificationEvent(int messageIn, std::intptr_t firstIn, std::intptr_t secondIn)
    : QEvent(Type()), message(messageIn), first(firstIn), second(secondIn) {}

QEvent::Type MediaNotificationEvent::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostMediaNotification(QObject* frame, int message, std::intptr_t first, std::intptr_t second) {
    if (frame == nullptr) return;
    QCoreApplication::postEvent(frame, new MediaNotificationEvent(message, first, second));
}

MediaHookFilter::MediaHookFilter(std::intptr_t window, QObject* parent) : QObject(parent), window_(window) {}

bool MediaHookFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != MediaNotificationEvent::Type()) return QObject::eventFilter(watched, event);
    const auto* note = static_cast<MediaNotificationEvent*>(event);
    // The frame's previous procedure is its own event handling: a message the hook passes on is left unfiltered
    // and the frame receives it as usual.
    bool passedOn = false;
    const WindowProcedure previous = [&passedOn](std::intptr_t, int, std::intptr_t, std::intptr_t) -> std::intptr_t {
        passedOn = true;
        return 0;
    };
    MediaNotifyHook(window_, note->message, note->first, note->second, previous);
    return !passedOn;
}

}  // namespace sonivex
