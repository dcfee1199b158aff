#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrion {

// "No Data!": asked when a ticker was given up with active alerts. "Yes"
// continues the run, "No" stops it; closing it otherwise keeps the last answer.
class frmNoData : public QDialog
{
    Q_OBJECT
public:
    explicit frmNoData(QWidget* parent = nullptr);

    // Shows the prompt modally and returns the stop answer afterwards.
    static bool ask(QWidget* parent);

    QLabel* Label1;
    QPushButton* cmdYes;
    QPushButton* cmdNo;
};

} // namespace kestrion
