// Palette reconciliation for composed GIF frames.
//
// A composed frame has one 256-entry palette, but its pixels come from two
// places: the canvas left by the earlier frames (indexes of the canvas's
// palette) and the new image (indexes of its own colour table). The new
// image's indexes are mapped into the canvas's palette so that both show
// their true colours:
//
//   1. an index whose entry already holds the same colour keeps its number;
//   2. otherwise the colour goes to the first entry that already holds it;
//   3. otherwise it is placed in an entry that no pixel still shown on the
//      canvas uses: the colour's own index when that entry is free, else
//      the lowest free entry;
//   4. the reserved index (the frame's transparent index) is skipped by the
//      steps above and taken only as the last exact choice, when it holds
//      the colour or no pixel uses it;
//   5. only when all 256 entries are in use does the colour take the
//      nearest other entry (squared RGB distance) - a frame needing more
//      than 256 colours cannot be shown exactly by one palette.
//
// Entries used by the canvas are never changed, so every canvas pixel keeps
// its colour, and every new colour is exact whenever the frame shows at
// most 256 colours.
#pragma once

#include <cstdint>

// palette: planar 1024 bytes (updated); inUse: entries the canvas still
// shows (updated: entries given to colours are marked); colours: the new
// table, R, G, B per entry; needed: which of its 256 indexes occur; map:
// receives the canvas index of each needed source index. Returns true when
// every needed index kept its own number.
bool ReconcileGifPalette(uint8_t* palette, bool* inUse, const uint8_t* colours,
                         const bool* needed, int reserved, uint8_t* map);
