#include "download/ui/download_controller.h"

namespace kestrion {

struct DownloadController::Worker
{
};

DownloadController::DownloadController(frmMain& window)
    : m_window(window)
{
}

DownloadController::~DownloadController() = default;

void DownloadController::start(bool) {}

bool DownloadController::isRunning() const
{
    return false;
}

void DownloadController::cancelAndWait() {}

} // namespace kestrion
