#pragma once

#include "platform/audio/audioplayer.h"

#include <memory>

// Takes a player out of use. It falls silent at once, as a dropped player
// does on the phone, but is kept a moment longer before it is released:
// the player being replaced is often the one whose end report is still
// running, and a media player torn down while the next one starts delays
// that one's sound by over a second.
void retirePlayer(std::shared_ptr<AudioPlayer> player);
