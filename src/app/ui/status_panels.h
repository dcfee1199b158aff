#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QMainWindow;
class QStatusBar;

namespace kestrion {

struct Settings;

// The main window's status bar and its three panels: the download status
// (object name "Status"), the picture of the data source ("DataSource") and
// the automatic download time ("ADT"). A click on any panel puts the status
// back to "Status".
class StatusPanels final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusPanels)
public:
    // Makes the status bar, owned by the window; the window owns this
    // object as well and deletes it first.
    explicit StatusPanels(QMainWindow& window);
    ~StatusPanels() override;

    QStatusBar* bar() const { return m_bar; }

    void setStatusText(const QString& text);
    QString statusText() const;
    void setStatusToolTip(const QString& text);
    // Shows the time as "ADT = <time>".
    void showAutomaticDownloadTime(const QString& time);
    // Shows the picture file; the panel stays empty when it can't be read.
    void showSourcePicture(const QString& path);

Q_SIGNALS:
    // Every text the status panel is given, also a repeat of the same text.
    void statusTextChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStatusBar* m_bar = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_dataSource = nullptr;
    QLabel* m_adt = nullptr;
};

// The picture file the data source panel shows for the record's "Data
// Source", in the program's folder.
QString sourcePicturePath(const Settings& settings);

} // namespace kestrion
