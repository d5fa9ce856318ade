#include "controls/KvBitmaps.h"

#include <QFile>

// Resources of a static library must be registered by hand.
static void initPictures() {
    static const bool done = [] {
        Q_INIT_RESOURCE(KvPictures);
        return true;
    }();
    (void)done;
}

int GetMaxBmpID() {
    initPictures();
    int n = 0;
    while (QFile::exists(QStringLiteral(":/kvbmp/%1.png").arg(n + 1)))
        ++n;
    return n;
}

bool LoadBmp(int index, QPixmap& bitmap) {
    initPictures();
    if (index <= 0) return false;
    return bitmap.load(QStringLiteral(":/kvbmp/%1.png").arg(index));
}

QPixmap LoadResourceBmp(const QString& name) {
    initPictures();
    QPixmap pixmap;
    pixmap.load(QStringLiteral(":/kvbmp/%1.png").arg(name));
    return pixmap;
}
