#pragma once

#include <QObject>
#include <QPointF>
#include <QSize>

// Touch and pointer gestures on the window, turned into the keys they stand for. The keys then
// take the one path every key takes: the menu query and the key map.
//
// A stroke is a press, any moves and a release, with one or more fingers. Distances are in
// proportion to the screen's shorter side, so that a gesture is the same on any screen. Time
// comes with the events (their timestamps, in ms) and with tick(): the tracker reads no clock
// and keeps no timer, and says when it next needs a tick (the long press).

enum class Gesture {
    Tap,
    SwipeLeft,
    SwipeRight,
    SwipeUp,
    SwipeDown,
    SwipeDownFromTop,
    LongPress,
    TwoFingerTap,
    WheelUp,
    WheelDown,
};

struct GestureRow
{
    Gesture gesture;
    int key; // Qt::Key
    const char* meaning;
};

extern const GestureRow kGestures[];
extern const int kGestureCount;

// The key a gesture stands for.
int keyForGesture(Gesture gesture);

// Thresholds, as fractions of the screen's shorter side and in milliseconds.
constexpr double kTapMovement = 0.03;
constexpr double kSwipeDistance = 0.10;
constexpr double kTopEdge = 0.05; // of the screen's height
constexpr int kTapMaxMs = 500;
constexpr int kLongPressMs = 600;

class GestureTracker : public QObject
{
    Q_OBJECT
  public:
    explicit GestureTracker(QObject* parent = nullptr);

    void setScreenSize(QSize size) { screen_ = size; }

    void press(QPointF at, qint64 now, int fingers = 1);
    void move(QPointF to, qint64 now, int fingers = 1);
    void release(QPointF at, qint64 now);
    void cancel();
    // One notch of a wheel is 120 eighths of a degree, as Qt counts them.
    void wheel(int angleDelta);

    // When tick() is next due, on the events' clock; -1 for never.
    qint64 deadline() const;
    void tick(qint64 now);

  signals:
    void key(int key);

  private:
    void longPressed();
    double shorterSide() const;

    QSize screen_{640, 480};
    qint64 pressedAt_ = 0;
    bool longPressArmed_ = false; // still, and held: a long press when the time comes
    QPointF start_, last_;
    int fingers_ = 0;
    bool down_ = false;
    bool done_ = false; // the stroke has given its key already
    int wheelRest_ = 0;
};
