#include "platform/twips.h"

#include <QtGlobal>

#include <algorithm>

namespace kestrion {

namespace {

constexpr double kMaxPixels = 32000;

} // namespace

int twipsToPixels(int twips)
{
    const int half = kTwipsPerPixel / 2;
    return twips >= 0 ? (twips + half) / kTwipsPerPixel : -((-twips + half) / kTwipsPerPixel);
}

int storedTwipsToPixels(float twips)
{
    return qRound(std::clamp(double(twips) / kTwipsPerPixel, -kMaxPixels, kMaxPixels));
}

float pixelsToStoredTwips(int pixels)
{
    return float(pixels * double(kTwipsPerPixel));
}

} // namespace kestrion
