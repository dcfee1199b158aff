// The grid's model over a real list file: the rows it shows, and which row
// stands where the current one stood after the file changed.
#include "lists/ticker_list_model.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;
using namespace kestrion::test;

class TestTickerListModel : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QStringList shown(const TickerListModel& model) const
    {
        QStringList result;
        for (int r = 0; r < model.rowCount(); ++r)
            result << model.index(r, 0).data().toString();
        return result;
    }

private Q_SLOTS:
    void showsStoredRowsReadOnly()
    {
        const QString path = m_dir.filePath(QStringLiteral("shown.mdb"));
        QVERIFY(makeList(path, {"ZZ", "AA", "ZZ"}));
        TickerList list;
        TickerListModel model(list);
        QCOMPARE(model.refresh(-1), std::optional<int>(-1)); // closed: no rows
        QVERIFY(list.open(path));
        QCOMPARE(model.rowCount(), 0); // nothing before the first read
        QCOMPARE(model.refresh(-1), std::optional<int>(0));
        QCOMPARE(shown(model), (QStringList{"ZZ", "AA", "ZZ"}));
        QCOMPARE(static_cast<const QAbstractItemModel&>(model).columnCount(), 1);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Symbol"));
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(model.rowId(1), list.rows().at(1).id);
        QCOMPARE(model.symbol(2), QStringLiteral("ZZ"));
        QCOMPARE(model.rowId(3), qint64(-1));
        QCOMPARE(model.symbol(-1), QString());

        list.close();
        QCOMPARE(model.refresh(0), std::optional<int>(-1));
        QCOMPARE(model.rowCount(), 0);
    }

    void refreshKeepsTheCurrentRow_data()
    {
        QTest::addColumn<QStringList>("symbols");
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("removed"); // symbols whose rows go
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<int>("expected");

        QTest::newRow("row added after") << QStringList{"A", "B", "C"} << 2 << QStringList{} << QStringList{"D"} << 2;
        QTest::newRow("row above goes: same list row")
            << QStringList{"A", "B", "C", "D"} << 2 << QStringList{"A"} << QStringList{} << 1;
        QTest::newRow("current row goes: same place")
            << QStringList{"A", "B", "C", "D"} << 1 << QStringList{"B"} << QStringList{} << 1;
        QTest::newRow("current last row goes: new last row")
            << QStringList{"A", "B", "C"} << 2 << QStringList{"C"} << QStringList{} << 1;
        QTest::newRow("duplicate symbol: the row, not the text")
            << QStringList{"X", "Y", "X"} << 2 << QStringList{"Y"} << QStringList{"X"} << 1;
        QTest::newRow("no current row: the first") << QStringList{"A", "B"} << -1 << QStringList{} << QStringList{} << 0;
        QTest::newRow("current row outside the rows: the first")
            << QStringList{"A", "B"} << 7 << QStringList{} << QStringList{} << 0;
        QTest::newRow("list emptied") << QStringList{"A", "B"} << 1 << QStringList{"A", "B"} << QStringList{} << -1;
    }

    void refreshKeepsTheCurrentRow()
    {
        QFETCH(QStringList, symbols);
        QFETCH(int, current);
        QFETCH(QStringList, removed);
        QFETCH(QStringList, added);
        QFETCH(int, expected);

        const QString path = m_dir.filePath(QStringLiteral("current.mdb"));
        QVERIFY(makeList(path, symbols));
        TickerList list;
        QVERIFY(list.open(path));
        TickerListModel model(list);
        QVERIFY(model.refresh(-1));
        for (const QString& symbol : removed) {
            // The first row of that text, the way a user picks one.
            const auto rows = list.rows();
            const auto it = std::find_if(rows.cbegin(), rows.cend(), [&](const auto& r) { return r.symbol == symbol; });
            QVERIFY(it != rows.cend());
            QVERIFY(list.remove(it->id));
        }
        for (const QString& symbol : added)
            QVERIFY(list.append(symbol));
        const qint64 idBefore = model.rowId(current);

        QCOMPARE(model.refresh(current), std::optional<int>(expected));
        QCOMPARE(shown(model), list.symbols());
        const auto after = list.rows();
        const bool stillThere =
            std::any_of(after.cbegin(), after.cend(), [idBefore](const auto& r) { return r.id == idBefore; });
        if (stillThere)
            QCOMPARE(model.rowId(expected), idBefore);
    }

    void unreadableListKeepsRowsLastRead()
    {
        const QString path = m_dir.filePath(QStringLiteral("locked.mdb"));
        QVERIFY(makeList(path, {"IBM", "KO"}));
        TickerList list;
        QVERIFY(list.open(path));
        TickerListModel model(list);
        QVERIFY(model.refresh(-1));
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        {
            ListLock lock(path, true);
            QVERIFY(lock.isLocked());
            QCOMPARE(model.refresh(1), std::nullopt);
            QCOMPARE(shown(model), (QStringList{"IBM", "KO"}));
            QCOMPARE(changes.count(), 0);
        }
        QCOMPARE(model.refresh(1), std::optional<int>(1));
    }
};

QTEST_GUILESS_MAIN(TestTickerListModel)
#include "test_ticker_list_model.moc"
