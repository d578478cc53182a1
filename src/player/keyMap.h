#pragma once

#include <cstdio>

// What one key does in one menu state: a command to send, or the end of the run.
struct KeyCell
{
    const char* command; // nullptr: nothing is sent
    bool closesWindow;
};

struct KeyRow
{
    int key; // Qt::Key
    KeyCell menuVisible;
    KeyCell menuHidden;
};

extern const KeyRow kKeyMap[];
extern const int kKeyMapSize;

// The row for a key, or nullptr for a key the map does not know.
const KeyRow* findKey(int key);

// Sends the key's command for the menu state, or prints the unknown-key line. Returns true
// when the key asks for the window to be closed. Nothing is flushed here.
bool applyKey(int key, bool menuVisible, FILE* fifo);
