#pragma once

#include "platform/twips.h"

#include <optional>

namespace kestrion {

// Sizes the chart browser gives its address box and web view for a client
// area of the given pixel size. A rule that would come out negative leaves
// that size as it is (empty optional).
struct BrowserSizes
{
    std::optional<int> addressWidth;
    std::optional<int> browserWidth;
    std::optional<int> browserHeight;
};
BrowserSizes browserSizes(int clientWidth, int clientHeight);

// Height of the viewer's text area, in pixels, for the window's outer height
// and its client height (below the menu bar). Short of the 575-twip margin the
// area shrinks to nothing rather than going negative.
int viewerTextHeight(int outerHeight, int clientHeight);

} // namespace kestrion
