#pragma once

#include <QRect>

class QWidget;

namespace kestrion {

struct WindowValues;

// The main window's place and size as the settings keep them, in twips.
// Loaded values are saved back unchanged while the window still stands
// there, so that whole-pixel rounding never creeps the stored twips.
class WindowPlacement
{
public:
    // Puts the window where the values say.
    void restore(QWidget& window, const WindowValues& values);
    // Writes the window's place and size into the values. A minimized
    // window (also one minimized from maximized) is saved where it will come
    // back to; a maximized one with its maximized bounds.
    void store(const QWidget& window, WindowValues& values) const;

private:
    QRect m_loadedPixels;
    float m_loadedTwips[4] = {};
};

} // namespace kestrion
