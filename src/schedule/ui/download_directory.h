#pragma once

class QLineEdit;
class QWidget;

namespace kestrion {

// The Browse button: a folder picker titled "Select download directory
// location."; the picked folder becomes the box's text, a cancel keeps it.
void browseForDownloadDirectory(QWidget* owner, QLineEdit* txtDownloadDir);

} // namespace kestrion
