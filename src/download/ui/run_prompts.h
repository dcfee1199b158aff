#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kestrion {

// "Download Complete!" at the end of a run, over parent, without waiting:
// done runs once the user has closed it, never when parent is deleted first.
// With failures the box names how many tickers were not downloaded and the
// last failure.
void openCompletionMessage(QWidget* parent, int failures, const QString& lastFailure, std::function<void()> done);

} // namespace kestrion
