#pragma once

#include <QWidget>

class QTextBrowser;

namespace kestrion {

// Help > Contents: the program's help document in a plain browser window.
// Modeless, so the user can read it beside the window it describes; the
// main window keeps one and shows it again instead of opening a second.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* owner = nullptr);

    QTextBrowser* txtContents = nullptr;

    // Shows the document from its start; false with the reason when the file
    // cannot be read (the window then stays as it was).
    bool showDocument(const QString& path, QString* error = nullptr);
};

} // namespace kestrion
