#include "app/ui/window_placement.h"

#include "core/settings_record.h"
#include "platform/twips.h"

#include <QWidget>

namespace kestrion {

void WindowPlacement::restore(QWidget& window, const WindowValues& values)
{
    m_loadedTwips[0] = values.mainLeft;
    m_loadedTwips[1] = values.mainTop;
    m_loadedTwips[2] = values.mainWidth;
    m_loadedTwips[3] = values.mainHeight;
    m_loadedPixels = QRect(storedTwipsToPixels(values.mainLeft), storedTwipsToPixels(values.mainTop),
                           storedTwipsToPixels(values.mainWidth), storedTwipsToPixels(values.mainHeight));
    window.setGeometry(m_loadedPixels);
}

void WindowPlacement::store(const QWidget& window, WindowValues& values) const
{
    const QRect r = window.isMinimized() ? window.normalGeometry() : window.geometry();
    const int pixels[4] = {r.x(), r.y(), r.width(), r.height()};
    const int loaded[4] = {m_loadedPixels.x(), m_loadedPixels.y(), m_loadedPixels.width(), m_loadedPixels.height()};
    float twips[4];
    for (int i = 0; i < 4; ++i)
        twips[i] = pixels[i] == loaded[i] ? m_loadedTwips[i] : pixelsToStoredTwips(pixels[i]);
    values.mainLeft = twips[0];
    values.mainTop = twips[1];
    values.mainWidth = twips[2];
    values.mainHeight = twips[3];
}

} // namespace kestrion
