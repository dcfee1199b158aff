#include "download/ui/run_prompts.h"

#include "platform/ui/prompt.h"

#include <QWidget>

#include <utility>

namespace kestrion {

void openCompletionMessage(QWidget* parent, int failures, const QString& lastFailure, std::function<void()> done)
{
    auto* box = new QMessageBox(QMessageBox::Warning, parent ? parent->windowTitle() : QString(),
                                QStringLiteral("Download Complete!"), QMessageBox::Ok, parent);
    if (failures > 0)
        box->setInformativeText(QStringLiteral("Tickers not downloaded: %1 (see errorlog.txt).\nLast failure: %2")
                                    .arg(failures)
                                    .arg(lastFailure));
    Prompt::open(box, [done = std::move(done)](Prompt::Button) {
        if (done)
            done();
    });
}

} // namespace kestrion
