#pragma once

// A key held down for a while, seen through the window's key events: its first press, the
// presses that auto-repeat brings while it is held, and its release. It reads no clock: time
// comes with the events (their timestamps, in ms). Once per hold, at the first event that finds
// the key held long enough.
class KeyHold
{
  public:
    KeyHold(int key, long long holdMs) : key_(key), holdMs_(holdMs) {}

    // True when this event completes the hold.
    bool pressed(int key, bool autoRepeat, long long now);
    bool released(int key, bool autoRepeat, long long now);

  private:
    bool completes(long long now);

    int key_;
    long long holdMs_;
    long long since_ = 0;
    long long releasedAt_ = -1; // the last release: a press at the same time repeats
    bool down_ = false;
    bool done_ = false;
};

// F1 held for this long turns speech on or off, from anywhere: a press of F1 alone still does
// what the key table says.
constexpr long long kSpeechHoldMs = 3000;
// What the window then sends: the adapter's own word, which a player without it ignores.
constexpr char kSpeechToggleCommand[] = "tamblin_speech\n";
