#include "tools/window_rules.h"

namespace kestrion {

namespace {

// Chart browser: margin beside the address box and the web view, and what
// lies above and below the web view (toolbar 450 + address panel 675, then
// the period frame and a small gap).
constexpr int kBrowserSideMargin = 125;
constexpr int kAddressPanelBottom = 450 + 675;
constexpr int kBrowserBottomMargin = 700;

// Viewer: toolbar above and status bar below the text area, and the outer
// height under which the margin is dropped altogether.
constexpr int kViewerMargin = 575;
constexpr int kViewerMinimumOuterHeight = 350;

std::optional<int> ruleResult(int twips)
{
    if (twips < 0)
        return std::nullopt;
    return twipsToPixels(twips);
}

} // namespace

BrowserSizes browserSizes(int clientWidth, int clientHeight)
{
    BrowserSizes sizes;
    sizes.addressWidth = ruleResult(pixelsToTwips(clientWidth) - kBrowserSideMargin);
    sizes.browserWidth = ruleResult(pixelsToTwips(clientWidth) - kBrowserSideMargin);
    sizes.browserHeight = ruleResult(pixelsToTwips(clientHeight) - kAddressPanelBottom - kBrowserBottomMargin);
    return sizes;
}

int viewerTextHeight(int outerHeight, int clientHeight)
{
    if (pixelsToTwips(outerHeight) < kViewerMinimumOuterHeight)
        return clientHeight;
    const int twips = pixelsToTwips(clientHeight) - kViewerMargin;
    return twips < 0 ? 0 : twipsToPixels(twips);
}

} // namespace kestrion
