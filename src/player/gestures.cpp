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

GestureTracker::GestureTracker(QObject* parent) : QObject(parent)
{
    longPress_.setSingleShot(true);
    longPress_.setInterval(kLongPressMs);
    connect(&longPress_, &QTimer::timeout, this, &GestureTracker::longPressed);
}

double GestureTracker::shorterSide() const
{
    return std::max(1, std::min(screen_.width(), screen_.height()));
}

void GestureTracker::press(QPointF at, int fingers)
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
    since_.start();
    longPress_.start();
}

void GestureTracker::move(QPointF to, int fingers)
{
    if (!down_)
        return;
    last_ = to;
    fingers_ = std::max(fingers_, fingers);
    if (QLineF(start_, to).length() > kTapMovement * shorterSide())
        longPress_.stop();
}

void GestureTracker::longPressed()
{
    if (!down_ || done_ || fingers_ > 1)
        return;
    done_ = true;
    emit key(keyForGesture(Gesture::LongPress));
}

void GestureTracker::release(QPointF at)
{
    if (!down_)
        return;
    down_ = false;
    longPress_.stop();
    if (done_)
        return;
    last_ = at;
    const double side = shorterSide();
    const QPointF d = at - start_;
    const double moved = std::hypot(d.x(), d.y());
    const qint64 ms = since_.elapsed();
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
    longPress_.stop();
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
