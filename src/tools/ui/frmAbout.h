#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrion {

// The About box: product title, version, description and icon, with "Ok"
// and a button that starts the desktop's system information program.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QWidget* Line1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

    // Starts the system information program: the one named in the settings
    // ("Tools" / "System Info Program", used as it is), else the first of
    // the usual programs on the search path. Tells the user when there is
    // none or it does not start; the box stays open either way.
    void StartSysInfo();
    // Reads a value of the settings store; false with an empty text when it
    // is not set.
    bool GetKeyValue(const QString& section, const QString& name, QString& value) const;

    // The folder list searched for the usual programs; the process's PATH
    // unless set (tests).
    void setSearchPath(const QString& pathVariable)
    {
        m_searchPath = pathVariable;
        m_searchPathSet = true;
    }

private:
    QString m_searchPath;
    bool m_searchPathSet = false;
};

// Shows the About box modally over the owner.
void showAbout(QWidget* owner);

// The application's icon: the one the application set, else Kestrion's own
// drawn chart symbol.
QIcon kestrionIcon();

} // namespace kestrion
