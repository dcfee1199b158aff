#include "schedule/ui/download_directory.h"

#include <QFileDialog>
#include <QLineEdit>

namespace kestrion {

void browseForDownloadDirectory(QWidget* owner, QLineEdit* txtDownloadDir)
{
    const QString remembered = txtDownloadDir->text();
    const QString picked = QFileDialog::getExistingDirectory(owner,
                                                             QStringLiteral("Select download directory location."));
    txtDownloadDir->setText(picked.isEmpty() ? remembered : picked);
}

} // namespace kestrion
