#pragma once

#include "sources/quote_request.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace kestrion {

// What a download needs from the window that starts it: the run's inputs,
// the controls it greys out, and the places it shows progress and status.
// The main window implements it; the download code knows nothing else of it.
class DownloadView
{
public:
    virtual ~DownloadView() = default;

    // Inputs, read when a run starts.
    virtual RequestInputs requestInputs() const = 0;
    virtual QString downloadDir() const = 0;
    virtual bool singleStock() const = 0;
    virtual bool listOpen() const = 0;
    virtual QString listPath() const = 0;
    // The open list's symbols in stored order; false with the reason when
    // the list cannot be read.
    virtual bool readListSymbols(QStringList& symbols, QString* error) const = 0;
    // The list row a single-stock run fetches; -1 when there is none.
    virtual int currentListRow() const = 0;

    // What the run shows.
    virtual void setDownloadDir(const QString& dir) = 0;
    virtual void setInputsEnabled(bool enabled) = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setStatusToolTip(const QString& text) = 0;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void progressToMinimum() = 0;
    virtual void progressToMaximum() = 0;
    virtual void refreshList() = 0;

    // The window the run's prompts and messages belong to.
    virtual QWidget* promptParent() = 0;
};

} // namespace kestrion
