#pragma once

#include "download/download_view.h"

namespace kestrion {

class ListEditor;
class StatusPanels;
struct MainControls;

// What a download run reads from the main window and shows in it: the
// window's side of DownloadView, over its controls, list and status panels.
class WindowDownloadView final : public DownloadView
{
public:
    WindowDownloadView(QWidget& window, const MainControls& controls, ListEditor& list, StatusPanels& panels);

    RequestInputs requestInputs() const override;
    QString downloadDir() const override;
    bool singleStock() const override;
    bool listOpen() const override;
    QString listPath() const override;
    bool readListSymbols(QStringList& symbols, QString* error) const override;
    int currentListRow() const override;

    void setDownloadDir(const QString& dir) override;
    void setInputsEnabled(bool enabled) override;
    void setStatusText(const QString& text) override;
    void setStatusToolTip(const QString& text) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    void progressToMinimum() override;
    void progressToMaximum() override;
    void refreshList() override;

    QWidget* promptParent() override;

private:
    QWidget& m_window;
    const MainControls& m_c;
    ListEditor& m_list;
    StatusPanels& m_panels;
};

} // namespace kestrion
