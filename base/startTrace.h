#pragma once

// Marks on the way from exec to the first picture of the menu, so that where the start's time
// goes can be measured across the window, the adapter and the player. With
// TAMBLIN_START_TRACE=FILE each mark appends one line, "PROCESS STAGE MICROSECONDS", the
// microseconds on the monotonic clock (the same clock in every process); PROCESS and STAGE are
// one word each. Without it a mark costs one look at the environment, once per process.
void traceStart(const char* process, const char* stage);
