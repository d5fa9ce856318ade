// A chart of 30 rows rendered to an image: pyjamas, bars with day texts, a marker, links.
#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"

namespace {

const double D0 = kv::encodeDate(2024, 5, 1);

QImage renderArea(TphGant& g) {
    g.GantArea()->repaint();
    g.UpdateAllGeometry();
    QImage image(g.GantArea()->size(), QImage::Format_RGB32);
    QPainter p(&image);
    g.GantArea()->PaintTo(p);
    return image;
}

// The chart on screen at the given size, showing the days from D0 on.
bool showDays(TphGant& g, int width, int height, int days) {
    g.resize(width, height);
    g.show();
    if (!QTest::qWaitForWindowExposed(&g)) return false;
    g.SetStart(D0);
    g.SetStop(D0 + days);
    return true;
}

} // namespace

TEST(GantRender, ThirtyRowsWithTextsMarkersAndLinks) {
    TMyGant g;
    ASSERT_TRUE(showDays(g, 1000, 45 + 30 * TphGrid::DefaultRowHeight, 24));
    g.Grid()->Columns()[0].HeaderText = QStringLiteral("Line");
    std::vector<TMyGantItem*> items;
    for (int i = 0; i < 30; ++i) {
        const int start = i % 12;
        const int days = i == 7 ? 0 : 3 + i % 5;
        TMyGantItem* item =
            g.MyGantList()->AddItem(i % 2 ? 0x0080C0FF : 0x00FFC080, days, D0 + start + days + 1, D0 + start);
        item->RowNode->SetCellText(0, QStringLiteral("Line %1").arg(i + 1));
        for (int k = 0; k < days; ++k)
            item->SetDayTexts(QString::number(100 + k), QString(), D0 + start + k);
        items.push_back(item);
    }
    g.DefaultLinkPenWidth = 1;
    for (int kind = 0; kind <= 4; ++kind) {
        TphDataEntity_Link* link = g.AddLink(items[size_t(2 * kind)]->Bar, items[size_t(2 * kind + 3)]->Bar);
        link->SetLinkKind(quint8(kind));
        link->LinkColor = kind == 2 ? clRed : clBlue;
    }
    g.AddLink(items[20]->Bar, items[24]->Bar)->LinkStyle = TLinkStyle::tlsMSProject;
    // A plain style 0 item to check exact colours against.
    TphDataEntity_GantTime* plain = g.RowOfNode(items[29]->RowNode)->AddTime(1);
    plain->StartTime = D0 + 20;
    plain->StopTime = D0 + 23;
    plain->Color = clGreen;
    const QImage image = renderArea(g);
    const QString dir = testsupport::pictureDir("gantt");
    EXPECT_TRUE(image.save(dir + QStringLiteral("/chart30.png")));
    EXPECT_TRUE(g.grab().save(dir + QStringLiteral("/widget30.png")));
    // The grid's rows line up with the chart's rows.
    const QRect cell = g.Grid()->CellRect(0, 1 + 4);
    const QPoint gridRow = g.Grid()->mapTo(&g, cell.topLeft());
    const QPoint areaRow = g.GantArea()->mapTo(&g, g.RowOfNode(items[4]->RowNode)->Rect.topLeft());
    EXPECT_EQ(gridRow.y(), areaRow.y());

    // Row 0 is a pyjama row: a 2 x 2 pattern of silver and aqua, aligned to the area.
    const QRect row0 = g.RowOfNode(items[0]->RowNode)->Rect;
    const int x = g.Scaler()->PixelAtDate(D0 + 22) & ~1;
    const int y = (row0.top() + 2) & ~1;
    EXPECT_EQ(image.pixel(x, y), QColor(0xC0, 0xC0, 0xC0).rgb());
    EXPECT_EQ(image.pixel(x + 1, y), QColor(0x00, 0xFF, 0xFF).rgb());
    // Row 1 is plain background.
    const QRect row1 = g.RowOfNode(items[1]->RowNode)->Rect;
    EXPECT_EQ(image.pixel(x + 1, row1.top() + 4), QColor(0xC0, 0xC0, 0xC0).rgb());
    // The plain item is filled green inside its black frame.
    const QRect rp = g.ItemRect(plain);
    EXPECT_EQ(image.pixel(rp.center()), QColor(0, 0x80, 0).rgb());
    EXPECT_EQ(image.pixel(rp.left(), rp.center().y()), QColor(Qt::black).rgb());
    // The marker of the zero-day line is red, 5 pixels wide.
    const QRect rm =
        g.ItemRect(static_cast<TphDataEntity_GantTime*>(items[7]->Bar->Owner->Get(TMyGantItem::kMarker)));
    EXPECT_EQ(rm.width(), 5);
    EXPECT_EQ(image.pixel(rm.left() + 2, rm.center().y()), QColor(Qt::red).rgb());
    // Day cells are white where no text is drawn (shading starts at the colour itself).
    const QRect rc = g.ItemRect(items[3]->DayCell(0));
    EXPECT_EQ(image.pixel(rc.right() - 2, rc.top()), QColor(Qt::white).rgb());
    // The kind 2 link is red, drawn somewhere between its rows.
    int red = 0;
    const QRect r4 = g.ItemRect(items[4]->Bar);
    const QRect r7 = g.ItemRect(items[7]->Bar);
    for (int yy = r4.top(); yy <= r7.bottom(); ++yy)
        for (int xx = 0; xx < image.width(); ++xx)
            if (image.pixel(xx, yy) == QColor(Qt::red).rgb() && !rm.contains(xx, yy)) ++red;
    EXPECT_GT(red, 10);
}

// The stripes follow calendar periods, so they are checked on fixed weeks: a week round today may be
// one single period and show no stripe at all.
TEST(GantRender, VerticalPyjamasAndTodayLine) {
    TphGant g;
    ASSERT_TRUE(showDays(g, 800, 200, 28));
    g.VerticalPyjamas = true;
    g.TodayLineOnOff = true;
    g.TodayLineColor = clRed;
    g.SetGantPyjamasColor(clBlue);
    QImage image = renderArea(g);
    image.save(testsupport::pictureDir("gantt") + "/vertical.png");
    // Some columns are striped, some plain.
    int blue = 0;
    for (int xx = 0; xx < image.width(); ++xx)
        if (image.pixel(xx, 100) == QColor(Qt::blue).rgb()) ++blue;
    EXPECT_GT(blue, 50);
    EXPECT_LT(blue, image.width() - 50);

    const double today = kv::today();
    g.SetStart(today - 3);
    g.SetStop(today + 3);
    image = renderArea(g);
    const int x = g.Scaler()->PixelAtDate(today + 0.5);
    EXPECT_EQ(image.pixel(x, 50), QColor(Qt::red).rgb());
}

// A quantity wider than its day cell: cut to its first digits by default, drawn whole in a smaller
// font when the chart fits its texts.
TEST(GantRender, FittedTextsShrinkInsteadOfBeingCut) {
    TMyGant g;
    ASSERT_TRUE(showDays(g, 600, 120, 12));
    TMyGantItem* item = g.MyGantList()->AddItem(0x00FFC080, 3, D0 + 5, D0 + 1);
    item->SetDayTexts(QStringLiteral("12,000"), QString(), D0 + 1);
    // The extent of the dark (text) pixels inside the first day cell.
    auto textBox = [&] {
        const QImage image = renderArea(g);
        const QRect cell = g.ItemRect(item->DayCell(0)) & image.rect();
        QRect box;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (qGray(image.pixel(x, y)) < 100) box |= QRect(x, y, 1, 1);
        return std::make_pair(box, cell);
    };
    const auto [cut, cell] = textBox();
    ASSERT_LT(cell.width(), QFontMetrics(g.FontTimeItemStyle1).horizontalAdvance(QStringLiteral("12,000")));
    g.FitTimeItemTexts = true;
    const auto [fitted, sameCell] = textBox();
    ASSERT_FALSE(cut.isEmpty());
    ASSERT_FALSE(fitted.isEmpty());
    EXPECT_LT(fitted.height(), cut.height());
    EXPECT_LT(fitted.right(), sameCell.right());
}

// Column stripes follow the calendar: neighbouring coarse columns alternate at every zoom, months and
// quarters included, whose lengths differ from one another.
TEST(GantRender, NeighbouringColumnStripesAlternate) {
    TphGant g;
    g.resize(900, 120);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.VerticalPyjamas = true;
    g.SetGantBackColor(clWhite);
    g.SetGantPyjamasColor(clBlack);
    QSet<double> steps;
    for (double span : {20.0, 60.0, 150.0, 400.0, 800.0, 1500.0, 3000.0, 6000.0}) {
        for (double from : {0.0, 17.0, 200.0}) {
            g.SetStart(D0 + from);
            g.SetStop(D0 + from + span);
            const QImage image = renderArea(g);
            const auto& coarse = g.Scaler()->CoarseMarks();
            const double step = g.Scaler()->CoarseStep();
            steps.insert(step);
            // A column is striped when it shows the pattern's dark pixels.
            std::vector<int> striped;
            for (size_t i = 0; i + 1 < coarse.size(); ++i) {
                const int x0 = std::max(0, int(coarse[i].Pos)) + 1;
                const int x1 = std::min(image.width(), int(coarse[i + 1].Pos)) - 1;
                if (x1 - x0 < 4) continue;
                int dark = 0;
                for (int x = x0; x < x1; ++x)
                    for (int y = 40; y < 42; ++y)
                        dark += image.pixelColor(x, y) == QColor(Qt::black) ? 1 : 0;
                striped.push_back(dark > 0 ? 1 : 0);
            }
            for (size_t i = 1; i < striped.size(); ++i)
                EXPECT_NE(striped[i], striped[i - 1])
                    << "coarse step " << step << ", span " << span << ", column " << i;
        }
    }
    EXPECT_TRUE(steps.contains(27.0)) << "no month columns were drawn";
    EXPECT_TRUE(steps.contains(86.0)) << "no quarter columns were drawn";
}

// Links whose ends scroll out of view: one end in view is enough for lsOneEndVisible, both are needed
// for lsBothEndsVisible, and lsAlways draws what it can place.
TEST(GantRender, LinkShowDecidesByTheEndsInView) {
    TphGant g;
    const int rowHeight = TphGrid::DefaultRowHeight;
    ASSERT_TRUE(showDays(g, 600, 45 + 16 * rowHeight, 10));
    for (int i = 0; i < 30; ++i)
        g.GridTree()->AddNode(nullptr);
    const auto add = [&g](int row, double start, double stop) {
        TphDataEntity_GantTime* item = g.RowOfNode(g.Grid()->NodeAt(row))->AddTime(0);
        item->StartTime = D0 + start;
        item->StopTime = D0 + stop;
        return item;
    };
    TphDataEntity_GantTime* from = add(1, 1, 2);
    TphDataEntity_GantTime* to = add(12, 5, 6);
    g.AddLink(from, to)->LinkColor = clRed;
    const auto drawnWith = [&g](TLinkShow show) {
        g.LinkShow = show;
        const QImage image = renderArea(g);
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                red += image.pixel(x, y) == QColor(Qt::red).rgb() ? 1 : 0;
        return red > 0;
    };
    // Both rows on screen.
    EXPECT_TRUE(drawnWith(lsOneEndVisible));
    EXPECT_TRUE(drawnWith(lsBothEndsVisible));
    EXPECT_TRUE(drawnWith(lsAlways));
    // Scrolled by two rows: the from-row is off screen, the to-row still on it.
    g.Grid()->SetTopRow(2);
    EXPECT_TRUE(drawnWith(lsOneEndVisible));
    EXPECT_FALSE(drawnWith(lsBothEndsVisible));
    EXPECT_TRUE(drawnWith(lsAlways));
    // A shorter chart between the two rows: both ends out of view, one above and one below; only
    // lsAlways draws, across the whole area.
    g.resize(600, 45 + 6 * rowHeight);
    g.Grid()->SetTopRow(4);
    EXPECT_FALSE(drawnWith(lsOneEndVisible));
    EXPECT_FALSE(drawnWith(lsBothEndsVisible));
    EXPECT_TRUE(drawnWith(lsAlways));
    renderArea(g).save(testsupport::pictureDir("gantt") + "/link_across.png");
    // Both rows on screen again, but the to-item's time lies after the window: out of view too.
    g.resize(600, 45 + 16 * rowHeight);
    g.Grid()->SetTopRow(0);
    to->StartTime = D0 + 12;
    to->StopTime = D0 + 13;
    EXPECT_TRUE(drawnWith(lsOneEndVisible));
    EXPECT_FALSE(drawnWith(lsBothEndsVisible));
}

// A row whose first layer is not layer 0 paints from that layer on and then the layers before it,
// which so come out on top.
TEST(GantRender, ARowPaintsFromItsFirstLayerRoundToTheLayersBeforeIt) {
    TphGant g;
    ASSERT_TRUE(showDays(g, 900, 300, 10));
    g.GridTree()->AddNode(nullptr);
    TGantRow* row = g.RowOfNode(g.Grid()->NodeAt(0));
    auto add = [row](int layer, double start, double stop, TColor color) {
        TphDataEntity_GantTime* item = row->AddTime(layer);
        item->StartTime = start;
        item->StopTime = stop;
        item->Color = color;
        return item;
    };
    TphDataEntity_GantTime* first = add(0, D0 + 1, D0 + 5, clRed);
    TphDataEntity_GantTime* second = add(1, D0 + 3, D0 + 7, clGreen);
    row->FirstLayer = 1;
    const QImage image = renderArea(g);
    const QRect a = g.ItemRect(first), b = g.ItemRect(second);
    EXPECT_EQ(QColor(image.pixel(a.left() + 5, a.center().y())), QColor(Qt::red));
    EXPECT_EQ(QColor(image.pixel(b.right() - 5, b.center().y())), QColor(0, 128, 0));
    // Where they overlap, layer 0 was painted last.
    EXPECT_EQ(QColor(image.pixel(b.left() + 5, a.center().y())), QColor(Qt::red));
}
