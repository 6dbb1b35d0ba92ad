// What the controller and its clients both know of the changer: the
// magazine's size, the track limit, the disc identifier's length, the play
// modes and the status poll's period.
#pragma once

// Slots 1..100; the magazine table and reply have one record a slot.
const int kSlotCount = 100;

// Track numbers are two decimal digits on the line.
const int kLargestTrack = 99;

// The changer's disc identifier, in characters.
const int kDiscIdLength = 10;

// The sleep between two status polls.
const int kPollPeriodMs = 1200;

enum PlayMode {
    ModePlay = 0,
    ModePause = 1,
    ModeStop = 2,
    ModeUnloaded = 3,
    ModeShuffle = 4,    // playing the shuffled playlist
    ModeWholeDisc = 5,  // playing one whole disc, then back to the playlist
};
