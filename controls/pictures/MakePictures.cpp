// Draws the controls' numbered pictures and named check marks into PNG files (run once, output
// committed beside this file):  MakePictures <output dir>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

constexpr int S = 16;

void save(const QString& dir, const QString& name, const std::function<void(QPainter&)>& draw) {
    QImage image(S, S, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    image.save(dir + '/' + name + ".png");
}

void box(QPainter& p, const QColor& fill) {
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(fill);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
}

void tick(QPainter& p) {
    p.setPen(QPen(QColor(0, 96, 0), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 11), QPointF(11.5, 5)}));
}

void cross(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
}

void magnifier(QPainter& p) {
    p.setPen(QPen(QColor(30, 60, 140), 2));
    p.setBrush(QColor(200, 225, 255));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    p.setPen(QPen(QColor(90, 60, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    // 1 query
    save(dir, "1", [](QPainter& p) { magnifier(p); });
    // 2 edit: a pencil
    save(dir, "2", [](QPainter& p) {
        p.setPen(QPen(QColor(120, 80, 0), 1));
        p.setBrush(QColor(250, 200, 60));
        p.drawPolygon(
            QPolygonF({QPointF(3, 13), QPointF(4, 10), QPointF(11, 3), QPointF(13, 5), QPointF(6, 12)}));
    });
    // 3 save: a disk
    save(dir, "3", [](QPainter& p) {
        p.setPen(QPen(QColor(20, 40, 100), 1));
        p.setBrush(QColor(60, 100, 200));
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 2.5, 7, 4));
        p.drawRect(QRectF(5.5, 9.5, 5, 4));
    });
    // 4 cancel
    save(dir, "4", [](QPainter& p) { cross(p, QColor(200, 30, 30)); });
    // 5 add
    save(dir, "5", [](QPainter& p) {
        p.setPen(QPen(QColor(0, 120, 0), 3));
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
    });
    // 6 delete
    save(dir, "6", [](QPainter& p) {
        p.setPen(QPen(QColor(200, 30, 30), 3));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
    });
    // 7 print
    save(dir, "7", [](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(160, 160, 160));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
    });
    // 8 lookup (the F2 button): magnifier over a list
    save(dir, "8", [](QPainter& p) {
        p.setPen(QPen(QColor(100, 100, 100), 1));
        for (int y = 3; y <= 12; y += 3)
            p.drawLine(QPointF(1, y + 0.5), QPointF(7, y + 0.5));
        p.translate(3, 2);
        p.scale(0.8, 0.8);
        magnifier(p);
    });
    // 9 date: a calendar page
    save(dir, "9", [](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 12));
        p.setBrush(QColor(200, 40, 40));
        p.drawRect(QRectF(1.5, 2.5, 13, 3));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 60));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                p.drawRect(QRectF(3 + c * 3, 7 + r * 2.5, 1.5, 1.5));
    });
    // 10 ok
    save(dir, "10", [](QPainter& p) { tick(p); });
    // 11 exit: a door with an arrow
    save(dir, "11", [](QPainter& p) {
        p.setPen(QPen(QColor(90, 60, 20), 1));
        p.setBrush(QColor(170, 120, 60));
        p.drawRect(QRectF(2.5, 1.5, 7, 13));
        p.setPen(QPen(QColor(0, 100, 0), 2));
        p.drawLine(QPointF(8, 8), QPointF(14, 8));
        p.drawLine(QPointF(11.5, 5.5), QPointF(14, 8));
        p.drawLine(QPointF(11.5, 10.5), QPointF(14, 8));
    });
    // 12 refresh: a circular arrow
    save(dir, "12", [](QPainter& p) {
        p.setPen(QPen(QColor(0, 90, 160), 2));
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        p.setBrush(QColor(0, 90, 160));
        p.drawPolygon(QPolygonF({QPointF(8, 0.5), QPointF(11, 3), QPointF(8, 5.5)}));
    });
    // Check marks of check boxes and grids.
    save(dir, "CHECKED", [](QPainter& p) { box(p, Qt::white), tick(p); });
    save(dir, "UNCHECKED", [](QPainter& p) { box(p, Qt::white); });
    save(dir, "GRAYED", [](QPainter& p) {
        box(p, QColor(220, 220, 220));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 128, 128));
        p.drawRect(QRectF(5, 5, 6, 6));
    });
    save(dir, "CHECK", [](QPainter& p) { tick(p); });
    save(dir, "UNCHECK", [](QPainter& p) { box(p, Qt::white); });
    return 0;
}
