#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace kestrion {

// "No Data!": asked when a ticker was given up with active alerts. "Yes"
// continues the run, "No" stops it; closing it otherwise keeps the earlier
// answer.
class frmNoData : public QDialog
{
    Q_OBJECT
public:
    // earlierStop: the answer that stands when the prompt is closed without
    // Yes or No.
    explicit frmNoData(bool earlierStop = false, QWidget* parent = nullptr);

    // Shows the prompt window-modal over parent and returns; done gets the
    // stop answer (true: stop) once the prompt is closed. Closed without Yes
    // or No, the answer last given over the same window stands; none given
    // yet means go on. When
    // parent is deleted first the prompt goes with it and done never runs.
    static void openAsk(QWidget* parent, std::function<void(bool stop)> done);

    // True after "No"; after "Yes" false; otherwise the earlier answer.
    bool stopAnswer() const { return m_stop; }

    QLabel* Label1;
    QPushButton* cmdYes;
    QPushButton* cmdNo;

private:
    bool m_stop;
};

} // namespace kestrion
