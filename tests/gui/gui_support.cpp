#include "gui_support.h"

#include "app/ui/frmMain.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QTableView>
#include <QTest>

namespace kestrion::test {

MessageWatcher::MessageWatcher(Find find, int intervalMs)
{
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this, find] {
        if (find == Find::ActiveModal) {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->isVisible())
                answer(box);
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible())
                answer(box);
        }
    });
    m_timer.start();
}

void MessageWatcher::answer(QMessageBox* box)
{
    texts << box->text();
    titles << box->windowTitle();
    icons << box->icon();
    buttons << box->standardButtons();
    if (QAbstractButton* ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}

QStringList gridSymbols(const frmMain& w)
{
    QStringList result;
    const QAbstractItemModel* model = w.DBGrid1->model();
    for (int r = 0; r < model->rowCount(); ++r)
        result << model->index(r, 0).data().toString();
    return result;
}

void showAndActivate(QWidget& w)
{
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace kestrion::test
