#pragma once

namespace kestrion {

// The program's forms were drawn in twips and the settings keep the main
// window's place and size in them; on screen one pixel counts as 15 twips.
inline constexpr int kTwipsPerPixel = 15;

// Nearest whole pixel (halves away from zero).
int twipsToPixels(int twips);
inline constexpr int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// A stored coordinate in whole pixels. Stored values are only ever written by
// the program, but a hand-edited huge one must overflow neither the
// conversion nor the window system's 16-bit coordinates: the result stays
// within +-32000.
int storedTwipsToPixels(float twips);
// A pixel coordinate as the settings store it.
float pixelsToStoredTwips(int pixels);

} // namespace kestrion
