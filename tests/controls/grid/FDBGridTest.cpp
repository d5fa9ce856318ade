// The record grid's cells: every row shows its record through the field's formats and get-text
// handler, not only the current one, and drawing reads only the rows on screen.
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/FDBGrid.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"

// Texts in test failures as texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Lines with a date text shown as dd/mm/yyyy, a quantity with a display format, a code shown
// with its record's name, and a plain text.
struct Lines {
    kv::TClientDataSet ds;
    kv::TDataSource source;
    int handlerCalls = 0;
    explicit Lines(int count) {
        ds.AddField("DAY", kv::TFieldType::ftString, 8);
        ds.AddField("QTY", kv::TFieldType::ftFloat);
        ds.AddField("CODE", kv::TFieldType::ftString, 1);
        ds.AddField("NAME", kv::TFieldType::ftString, 20);
        ds.CreateDataSet();
        for (int i = 0; i < count; ++i) {
            ds.Append();
            ds.FieldByName("DAY").SetAsString(QString("202603%1").arg(i % 28 + 1, 2, 10, QChar('0')));
            ds.FieldByName("QTY").SetAsFloat(1000.5 * (i + 1));
            ds.FieldByName("CODE").SetAsString(QString::number(i % 3 + 1));
            ds.FieldByName("NAME").SetAsString(QString("line %1").arg(i));
            ds.Post();
        }
        ds.FieldByName("DAY").OnGetText = [this](kv::TField& f, QString& text, bool) {
            ++handlerCalls;
            const QString v = f.AsString();
            text = v.size() == 8 ? v.mid(6, 2) + "/" + v.mid(4, 2) + "/" + v.left(4) : QString();
        };
        ds.FieldByName("QTY").SetDisplayFormat("#,##0.00");
        // A handler that reads another field of the sender's record.
        ds.FieldByName("CODE").OnGetText = [this](kv::TField& f, QString& text, bool) {
            ++handlerCalls;
            text = f.AsString() + ":" + f.DataSet()->FieldByName("NAME").AsString();
        };
        ds.First();
        source.SetDataSet(&ds);
    }
};

QString cell(TFDBGrid& grid, int row, int column) {
    return grid.model()->index(row, column).data().toString();
}

} // namespace

TEST(FDBGridCells, EveryRowShowsItsRecordThroughFormatsAndHandlers) {
    Lines lines(4);
    TFDBGrid grid;
    grid.resize(500, 200);
    grid.SetDataSource(&lines.source);
    auto expectRows = [&] {
        for (int r = 0; r < 4; ++r) {
            SCOPED_TRACE(r);
            EXPECT_EQ(cell(grid, r, 0), QString("%1/03/2026").arg(r + 1, 2, 10, QChar('0')));
            EXPECT_EQ(cell(grid, r, 1), QStringList({"1,000.50", "2,001.00", "3,001.50", "4,002.00"})[r]);
            EXPECT_EQ(cell(grid, r, 2), QString("%1:line %2").arg(r % 3 + 1).arg(r));
            EXPECT_EQ(cell(grid, r, 3), QString("line %1").arg(r));
        }
    };
    expectRows();
    // The cursor stays where it was: no row was visited to draw it.
    EXPECT_EQ(lines.ds.RecNo(), 1);
    lines.ds.SetRecNo(3);
    expectRows();
    EXPECT_EQ(lines.ds.RecNo(), 3);

    // A record changed elsewhere shows its new value; one being edited shows the edit.
    lines.ds.SetRecNo(2);
    lines.ds.Edit();
    lines.ds.FieldByName("NAME").SetAsString("edited");
    EXPECT_EQ(cell(grid, 1, 2), "2:edited");
    lines.ds.Post();
    lines.ds.SetRecNo(4);
    EXPECT_EQ(cell(grid, 1, 2), "2:edited");
    lines.ds.SetRecNo(2);
    lines.ds.Edit();
    lines.ds.FieldByName("DAY").SetAsString("20261231");
    lines.ds.Post();
    lines.ds.First();
    EXPECT_EQ(cell(grid, 1, 0), "31/12/2026");
    // A text that is no date shows as its handler says, on any row.
    lines.ds.SetRecNo(3);
    lines.ds.Edit();
    lines.ds.FieldByName("DAY").SetAsString("x");
    lines.ds.Post();
    lines.ds.First();
    EXPECT_EQ(cell(grid, 2, 0), "");
}

TEST(FDBGridCells, DrawingReadsOnlyTheRowsOnScreen) {
    Lines lines(20000);
    TFDBGrid grid;
    grid.resize(500, 300);
    grid.SetDataSource(&lines.source);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    const int visible = grid.viewport()->height() / grid.verticalHeader()->defaultSectionSize() + 2;
    lines.handlerCalls = 0;
    const QImage top = grid.viewport()->grab().toImage();
    // Two handler columns, each drawn cell once (the current row asks its field directly).
    EXPECT_GT(lines.handlerCalls, 0);
    EXPECT_LE(lines.handlerCalls, 2 * visible + 4);
    grid.verticalScrollBar()->setValue(15000);
    lines.handlerCalls = 0;
    const QImage far = grid.viewport()->grab().toImage();
    EXPECT_LE(lines.handlerCalls, 2 * visible + 4);
    EXPECT_NE(top, far);
    const int row = grid.rowAt(grid.viewport()->height() / 2);
    ASSERT_GE(row, 15000);
    EXPECT_EQ(cell(grid, row, 2), QString("%1:line %2").arg(row % 3 + 1).arg(row));
    EXPECT_EQ(lines.ds.RecNo(), 1);
}

TEST(FDBGridCells, CellColoursEventChangesFontColourAndBrush) {
    Lines lines(3);
    TFDBGrid grid;
    grid.resize(500, 200);
    grid.SetDataSource(&lines.source);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QStringList seen;
    grid.OnCalcCellColors = [&seen](TFDBGrid*, const QString& field, int row, bool, QFont& font,
                                    QColor& fontColor, QBrush& brush) {
        seen << field + QString::number(row);
        if (field != "NAME" || row != 1) return;
        font.setPixelSize(16);
        font.setBold(true);
        fontColor = QColor(255, 0, 0);
        brush = QBrush(QColor(255, 255, 255));
    };
    const QImage image = grid.viewport()->grab().toImage();
    EXPECT_TRUE(seen.contains("NAME1"));
    const auto count = [&image](const QRect& r, auto test) {
        int n = 0;
        for (int x = r.left() + 1; x < r.right(); ++x)
            for (int y = r.top() + 1; y < r.bottom(); ++y)
                n += test(image.pixelColor(x, y)) ? 1 : 0;
        return n;
    };
    const auto red = [](const QColor& c) { return c.red() > 200 && c.green() < 90 && c.blue() < 90; };
    const QRect changed = grid.visualRect(grid.model()->index(1, 3));
    const QRect plain = grid.visualRect(grid.model()->index(2, 3));
    EXPECT_GT(count(changed, red), 10);
    EXPECT_EQ(count(plain, red), 0);
    EXPECT_EQ(image.pixelColor(changed.right() - 2, changed.top() + 2), QColor(255, 255, 255));
}

// An editor opened and left without a change writes nothing: the record stays in browse and the
// field's checks do not run; a change is written through them.
TEST(FDBGridCells, AnEditorLeftUnchangedWritesNothing) {
    Lines lines(3);
    int validations = 0;
    lines.ds.FieldByName("NAME").OnValidate = [&validations](kv::TField&) { ++validations; };
    TFDBGrid grid;
    grid.SetDataSource(&lines.source);
    grid.resize(500, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    const QModelIndex name = grid.model()->index(1, 3);
    auto editAndLeave = [&](const QString& typed) {
        grid.setCurrentIndex(name);
        grid.edit(name);
        QLineEdit* editor = nullptr;
        for (QLineEdit* e : grid.viewport()->findChildren<QLineEdit*>())
            if (e->isVisible()) editor = e;
        ASSERT_NE(editor, nullptr);
        if (!typed.isNull()) {
            editor->selectAll();
            QTest::keyClicks(editor, typed);
        }
        QTest::keyClick(editor, Qt::Key_Return);
        // The grid commits a cell after the key, from the event loop.
        QTest::qWait(20);
    };
    editAndLeave(QString());
    EXPECT_EQ(validations, 0);
    EXPECT_EQ(lines.ds.State(), kv::TDataSetState::dsBrowse);
    editAndLeave("renamed");
    EXPECT_EQ(validations, 1);
    EXPECT_EQ(lines.ds.FieldByName("NAME").AsString(), "renamed");
}
