#include "player/gestures.h"

#include <QLineF>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

const GestureRow kGestures[] = {
    // gesture                  key                   what it does
    {Gesture::Tap, Qt::Key_Return, "pause, or choose in the menu"},
    {Gesture::SwipeLeft, Qt::Key_Left, "seek back 40 s"},
    {Gesture::SwipeRight, Qt::Key_Right, "seek on 40 s"},
    {Gesture::SwipeUp, Qt::Key_Up, "seek back 150 s, or up in the menu"},
    {Gesture::SwipeDown, Qt::Key_Down, "seek on 150 s, or down in the menu"},
    {Gesture::SwipeDownFromTop, Qt::Key_F2, "end the run, or back in the menu"},
    {Gesture::TwoFingerTap, Qt::Key_F2, "end the run, or back in the menu"},
    {Gesture::LongPress, Qt::Key_F1, "open the menu"},
    {Gesture::WheelUp, Qt::Key_VolumeUp, "volume up"},
    {Gesture::WheelDown, Qt::Key_VolumeDown, "volume down"},
};
const int kGestureCount = int(sizeof kGestures / sizeof kGestures[0]);

int keyForGesture(Gesture gesture)
{
    for (const GestureRow& row : kGestures) {
        if (row.gesture == gesture)
            return row.key;
    }
    return 0;
}

GestureTracker::GestureTracker(QObject* parent) : QObject(parent) {}

double GestureTracker::shorterSide() const
{
    return std::max(1, std::min(screen_.width(), screen_.height()));
}

void GestureTracker::press(QPointF at, qint64 now, int fingers)
{
    if (down_) {
        // Another finger joins the stroke.
        fingers_ = std::max(fingers_, fingers);
        return;
    }
    down_ = true;
    done_ = false;
    start_ = last_ = at;
    fingers_ = fingers;
    pressedAt_ = now;
    longPressArmed_ = true;
}

void GestureTracker::move(QPointF to, qint64 now, int fingers)
{
    if (!down_)
        return;
    tick(now);
    last_ = to;
    fingers_ = std::max(fingers_, fingers);
    if (QLineF(start_, to).length() > kTapMovement * shorterSide())
        longPressArmed_ = false;
}

qint64 GestureTracker::deadline() const
{
    return down_ && longPressArmed_ ? pressedAt_ + kLongPressMs : -1;
}

void GestureTracker::tick(qint64 now)
{
    if (deadline() < 0 || now < deadline())
        return;
    longPressArmed_ = false;
    longPressed();
}

void GestureTracker::longPressed()
{
    if (!down_ || done_ || fingers_ > 1)
        return;
    done_ = true;
    emit key(keyForGesture(Gesture::LongPress));
}

void GestureTracker::release(QPointF at, qint64 now)
{
    if (!down_)
        return;
    // A release that comes after the long press's time, before its tick, is the long press.
    tick(now);
    down_ = false;
    longPressArmed_ = false;
    if (done_)
        return;
    last_ = at;
    const double side = shorterSide();
    const QPointF d = at - start_;
    const double moved = std::hypot(d.x(), d.y());
    const qint64 ms = now - pressedAt_;
    if (moved <= kTapMovement * side) {
        if (ms > kTapMaxMs)
            return; // held, but not long enough to count as a long press
        emit key(keyForGesture(fingers_ > 1 ? Gesture::TwoFingerTap : Gesture::Tap));
        return;
    }
    if (moved < kSwipeDistance * side)
        return; // neither a tap nor a swipe
    Gesture g;
    if (std::abs(d.y()) > std::abs(d.x())) {
        if (d.y() > 0)
            g = start_.y() <= kTopEdge * screen_.height() ? Gesture::SwipeDownFromTop
                                                          : Gesture::SwipeDown;
        else
            g = Gesture::SwipeUp;
    } else {
        g = d.x() > 0 ? Gesture::SwipeRight : Gesture::SwipeLeft;
    }
    emit key(keyForGesture(g));
}

void GestureTracker::cancel()
{
    down_ = false;
    longPressArmed_ = false;
}

void GestureTracker::wheel(int angleDelta)
{
    wheelRest_ += angleDelta;
    while (wheelRest_ >= 120) {
        wheelRest_ -= 120;
        emit key(keyForGesture(Gesture::WheelUp));
    }
    while (wheelRest_ <= -120) {
        wheelRest_ += 120;
        emit key(keyForGesture(Gesture::WheelDown));
    }
}
