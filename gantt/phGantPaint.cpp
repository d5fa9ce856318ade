// Painting of the Gantt area: background, items with their texts, links and drag outlines.
#include <QFontInfo>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>
#include <algorithm>
#include <cmath>

#include "gantt/phGant.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"
#include "platform/Numbers.h"

namespace {

// The 2 x 2 pattern of the row bands: background and pyjama colour on the diagonals.
QBrush pyjamaBrush(const QColor& back, const QColor& pyjama) {
    QImage pattern(2, 2, QImage::Format_RGB32);
    pattern.setPixel(0, 0, back.rgb());
    pattern.setPixel(1, 1, back.rgb());
    pattern.setPixel(1, 0, pyjama.rgb());
    pattern.setPixel(0, 1, pyjama.rgb());
    return QBrush(pattern);
}

// A shaded bar, 256 pixels wide; kept per colour and height, since every bar of a row repeats it and
// copying it unscaled is much cheaper than shading line by line.
constexpr int kShadeWidth = 256;

const QImage& shadeImage(TColor color, int height) {
    static QHash<quint64, QImage> cache;
    const quint64 key = (quint64(color) << 16) | quint64(height & 0xFFFF);
    auto it = cache.constFind(key);
    if (it != cache.constEnd()) return it.value();
    if (cache.size() > 4096) cache.clear();
    QImage image(kShadeWidth, std::max(1, height), QImage::Format_ARGB32_Premultiplied);
    double r = color & 0xFF;
    double g = (color >> 8) & 0xFF;
    double b = (color >> 16) & 0xFF;
    const int step = height / 50 + 1;
    const int upper = int(height * 0.66);
    for (int y = 0; y < height; ++y) {
        const QRgb pixel = qRgb(int(r), int(g), int(b));
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line, line + kShadeWidth, pixel);
        if ((y + 1) % step == 0) {
            const double f = y < upper ? 0.97 : 1.031;
            r = std::min(255.0, kv::roundHalfEven(r * f));
            g = std::min(255.0, kv::roundHalfEven(g * f));
            b = std::min(255.0, kv::roundHalfEven(b * f));
        }
    }
    return cache.insert(key, image).value();
}

void drawShaded(QPainter& p, const QRect& r, TColor color) {
    const QImage& image = shadeImage(color, r.height());
    for (int x = r.left(); x < r.left() + r.width(); x += kShadeWidth)
        p.drawImage(QPoint(x, r.top()), image,
                    QRect(0, 0, std::min(kShadeWidth, r.left() + r.width() - x), r.height()));
}

QColor qc(TColor c) {
    return phColorToQColor(c);
}

bool overlapsWindow(const TphDataEntity_GantTime* item, double start, double stop) {
    return (item->StartTime >= start && item->StartTime <= stop) ||
           (item->StopTime >= start && item->StopTime <= stop) ||
           (item->StartTime <= start && item->StopTime >= stop);
}

} // namespace

void TphGant::PaintArea(QPainter& p) {
    if (FLastRowCount < 0 || FGrid->DisplayRowCount() != FLastRowCount) SyncScrollBar();
    UpdateAllGeometry();
    DrawBackground(p);
    const double start = FScaler->Start();
    const double stop = FScaler->Stop();
    std::vector<std::pair<int, int>> runs;
    for (TGantRow* row : FRowsOnScreen) {
        const std::vector<TphDataList*>& layers = row->Layers->Lists;
        // From the row's first layer to the last, then the layers before it.
        const size_t n = layers.size(), first = size_t(std::clamp(row->FirstLayer, 0, int(n)));
        for (size_t i = 0; i < n; ++i) {
            TphDataList* list = layers[(first + i) % n];
            if (!list) continue;
            list->PositionsInTimes(start, stop, runs);
            for (const auto& [first, last] : runs)
                for (int k = first; k <= last; ++k) {
                    auto* item = static_cast<TphDataEntity_GantTime*>(list->Get(k));
                    if (!item || !overlapsWindow(item, start, stop)) continue;
                    const QRect r = ItemRect(item);
                    if (r.isEmpty()) continue;
                    DrawItem(p, item, r);
                }
        }
    }
    DrawLinks(p);
    if (OnUserDrawForeground) OnUserDrawForeground(this, FArea->rect(), &p);
    // Dotted outlines of a gesture in progress, inverting what lies below.
    if (FPressed && FOutlineDrawn && FMouseState != msIdle) {
        p.save();
        p.setCompositionMode(QPainter::RasterOp_NotDestination);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        if (FMouseState == msMoving || FMouseState == msCopying) {
            for (const auto& [rect, item] : FDragRects)
                p.drawRect(rect.translated(FDragOffset).adjusted(0, 0, -1, -1));
        } else {
            QRect r = FResizeRect;
            if (FMouseState == msResizeStart)
                r.setLeft(std::min(r.left() + FDragOffset.x(), r.right()));
            else
                r.setRight(std::max(r.right() + FDragOffset.x(), r.left()));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
        p.restore();
    }
}

void TphGant::DrawBackground(QPainter& p) {
    const int w = FArea->width();
    const int h = FArea->height();
    const bool printing = FArea->Printing();
    const QColor back = qc(FGantBackColor);
    const QColor pyjama = qc(FGantPyjamasColor);
    if (!printing) p.fillRect(0, 0, w, h, back);
    const QBrush brush = printing ? QBrush(pyjama) : pyjamaBrush(back, pyjama);
    // On screen the bands are copied from a patterned image of the area: a plain copy per row.
    if (!printing &&
        (FPyjamaImage.size() != QSize(w, h) || FPyjamaKey != qMakePair(FGantBackColor, FGantPyjamasColor))) {
        FPyjamaImage = QImage(std::max(1, w), std::max(1, h), QImage::Format_ARGB32_Premultiplied);
        QPainter ip(&FPyjamaImage);
        ip.fillRect(FPyjamaImage.rect(), brush);
        FPyjamaKey = qMakePair(FGantBackColor, FGantPyjamasColor);
    }
    auto fillBand = [&](const QRect& band) {
        if (printing)
            p.fillRect(band, brush);
        else if (const QRect part = band.intersected(FPyjamaImage.rect()); !part.isEmpty())
            p.drawImage(part.topLeft(), FPyjamaImage, part);
    };
    if (VerticalPyjamas) {
        const auto& coarse = FScaler->CoarseMarks();
        const double step = FScaler->CoarseStep();
        for (size_t i = 0; i < coarse.size(); ++i) {
            const int x0 = int(coarse[i].Pos);
            const int x1 = i + 1 < coarse.size() ? int(coarse[i + 1].Pos) : w;
            // Parity from the calendar period keeps the stripes in place while scrolling.
            const qint64 period = step > 0 ? TphDateScaler::PeriodNumber(coarse[i].Date, step) : qint64(i);
            if (period % 2 == 0) fillBand(QRect(x0, 0, x1 - x0, h));
        }
    } else {
        int y = 0;
        int index = 0;
        for (TGantRow* row : FRowsOnScreen) {
            if (index % 2 == 0) fillBand(row->Rect);
            y = row->Rect.top() + row->Rect.height();
            ++index;
        }
        // Below the last row the bands go on with the default height.
        const int rh = std::max(1, FDefaultRowHeight);
        for (; y < h; y += rh, ++index)
            if (index % 2 == 0) fillBand(QRect(0, y, w, rh));
    }
    if (TodayLineOnOff) {
        const int x = FScaler->PixelAtDate(kv::today() + 0.5);
        if (0 < x && x < FScaler->width()) {
            p.setPen(qc(TodayLineColor));
            p.drawLine(x, 0, x, h);
        }
    }
    if (OnUserDrawBackground) OnUserDrawBackground(this, FArea->rect(), &p);
    if (DrawShortLines) {
        const auto& fine = FScaler->FineMarks();
        const bool every = fine.size() > 1 && fine[1].Pos - fine[0].Pos > 29;
        p.setPen(qc(clGray));
        for (size_t i = 0; i < fine.size(); i += every ? 1 : 2)
            p.drawLine(int(fine[i].Pos), 0, int(fine[i].Pos), h);
    }
    if (DrawLongLines) {
        p.setPen(qc(clBackground));
        for (const TScaleMark& m : FScaler->CoarseMarks())
            p.drawLine(int(m.Pos), 0, int(m.Pos), h);
    }
    if (FArea->hasFocus()) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(2, 2, w - 5, h - 5));
    }
}

void TphGant::DrawItem(QPainter& p, TphDataEntity_GantTime* item, QRect r) {
    const int w = FArea->width();
    const double f = FArea->Printing() ? FArea->PrintFactorHorz() : 1.0;
    QRect textRect = r;
    if (r.left() < -1 || r.left() + r.width() > w + 1) {
        textRect.setLeft(std::max(0, r.left()));
        textRect.setRight(std::min(w, r.left() + r.width()) - 1);
    }
    {
        const int l = std::max(-10, r.left());
        const int rr = std::min(w + 10, r.left() + r.width());
        r = QRect(l, r.top(), std::max(0, rr - l), r.height());
    }
    const int style = item->Style & 0x7F;
    if ((style == 0 || style == 1 || style == 8) && r.left() < -500 && r.left() + r.width() > 2000)
        r = QRect(-500, r.top(), 2500, r.height());
    const QColor color = qc(item->Color);
    const int left = r.left();
    const int top = r.top();
    const int right = r.left() + r.width();
    const int bottom = r.top() + r.height();
    const int midY = top + r.height() / 2;
    switch (style) {
    case 0:
        p.fillRect(r, color);
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        break;
    case 1: {
        const int bar = int(4 * f);
        const QRect top4(left, top, r.width(), bar);
        p.fillRect(top4, color);
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(top4.adjusted(0, 0, -1, -1));
        const int tw = int(5 * f);
        const int th = int(3 * f);
        p.setBrush(color);
        for (int x : {left, right - tw}) {
            const QPoint tri[3] = {
                {x, top + bar}, {x + tw - 1, top + bar}, {x + (tw - 1) / 2, top + bar + th}};
            p.drawPolygon(tri, 3);
        }
        break;
    }
    case 2:
        if (OnUserDrawTime) OnUserDrawTime(this, item, r, &p);
        break;
    case 3:
    case 4: {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(left, midY - 2, r.width(), 4).adjusted(0, 0, -1, -1));
        p.setPen(QPen(color, 3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(left, midY, right - 1, midY);
        if (style == 4) {
            p.setPen(QPen(Qt::black, 2));
            p.drawRect(QRect(left + 1, top + 1, 1, r.height() - 2));
            p.drawRect(QRect(right - 2, top + 1, 1, r.height() - 2));
        }
        break;
    }
    case 5: {
        p.setPen(QPen(color, 3));
        QPoint prev(left, midY);
        for (int i = 1; i <= 20; ++i) {
            const QPoint next(left + int(kv::roundHalfEven(i * double(r.width()) / 20)),
                              midY + int(kv::roundHalfEven(std::sin(i * 2 * M_PI / 20) * r.height() / 2)));
            p.drawLine(prev, next);
            prev = next;
        }
        break;
    }
    case 6: {
        p.setPen(QPen(color, 3));
        p.setBrush(Qt::NoBrush);
        const int midX = left + r.width() / 2;
        const QPoint diamond[4] = {{midX, top}, {right - 1, midY}, {midX, bottom - 1}, {left, midY}};
        p.drawPolygon(diamond, 4);
        break;
    }
    case 7:
        if (item->ImageIndex >= 0 && item->ImageIndex < int(ImageList.size())) {
            const QPixmap& image = ImageList[size_t(item->ImageIndex)];
            if (FArea->Printing())
                p.drawPixmap(QRect(left, top, r.height(), r.height()), image);
            else
                p.drawPixmap(left, top, image);
        }
        break;
    case 8:
        if (r.height() > 14 || r.width() > 14)
            drawShaded(p, r, item->Color);
        else
            p.fillRect(r, color);
        break;
    default:
        break;
    }
    if (TphTimeItemTextCollection* texts = item->Texts) {
        // Laid-out texts are kept per font: day cells repeat the same few texts thousands of times.
        static QHash<QString, QHash<QString, QStaticText>> laidOut;
        QHash<QString, QStaticText>* cache = nullptr;
        int lastStyle = INT_MIN;
        for (int i = 0; i < texts->Count(); ++i) {
            TphTimeItemText* t = texts->Items(i);
            if (t->Text.isEmpty()) continue;
            const QPoint at = textRect.topLeft() + QPoint(int(t->Offset.x() * f), int(t->Offset.y() * f));
            const QPoint end(textRect.left() + textRect.width() - 1, textRect.top() + textRect.height() - 1);
            if (end.x() <= at.x() || end.y() <= at.y()) continue;
            if (t->FontStyle != lastStyle || !cache) {
                if (texts->SetFont)
                    texts->SetFont(texts, &p, t->FontStyle);
                else
                    FontForText(&p, t->FontStyle);
                lastStyle = t->FontStyle;
                if (laidOut.size() > 16) laidOut.clear();
                cache = &laidOut[p.font().key()];
                if (cache->size() > 20000) cache->clear();
            }
            auto it = cache->find(t->Text);
            if (it == cache->end()) {
                QStaticText st(t->Text);
                st.setTextFormat(Qt::PlainText);
                st.prepare(QTransform(), p.font());
                it = cache->insert(t->Text, st);
            }
            p.setPen(Qt::black);
            QSizeF size = it->size();
            const QRect clipRect(at, QSize(end.x() - at.x(), end.y() - at.y()));
            if (FitTimeItemTexts && size.width() > clipRect.width()) {
                QFont small = p.font();
                const int px = small.pixelSize() > 0 ? small.pixelSize() : QFontInfo(small).pixelSize();
                const int fit = std::max(7, int(px * clipRect.width() / size.width()));
                if (fit < px) {
                    small.setPixelSize(fit);
                    QHash<QString, QStaticText>& smallTexts = laidOut[small.key()];
                    // The insertion may have moved the font's own cache: look it up again next time.
                    cache = nullptr;
                    auto s = smallTexts.find(t->Text);
                    if (s == smallTexts.end()) {
                        QStaticText st(t->Text);
                        st.setTextFormat(Qt::PlainText);
                        st.prepare(QTransform(), small);
                        s = smallTexts.insert(t->Text, st);
                    }
                    p.save();
                    p.setFont(small);
                    p.setClipRect(clipRect, Qt::IntersectClip);
                    p.drawStaticText(at, *s);
                    p.restore();
                    continue;
                }
            }
            const bool clip = size.width() > clipRect.width() || size.height() > clipRect.height();
            if (clip) {
                p.save();
                p.setClipRect(clipRect, Qt::IntersectClip);
            }
            p.drawStaticText(at, *it);
            if (clip) p.restore();
        }
    }
    if (FArea->Printing()) return;
    TGantRow* row = item->Row();
    if (item->Selected && row && row->ShowSelection) {
        const QColor sel = qc(row->SelectionColor);
        p.fillRect(QRect(left, top, 5, 5), sel);
        p.fillRect(QRect(right - 5, top, 5, 5), sel);
        p.fillRect(QRect(left, bottom - 5, 5, 5), sel);
        p.fillRect(QRect(right - 5, bottom - 5, 5, 5), sel);
    }
    if (item == FCurrentItem && row && row->ShowFocus) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(left + 2, top + 2, r.width() - 5, r.height() - 5));
    }
}

void TphGant::DrawLinks(QPainter& p) {
    if (FLinkList->Count() == 0) return;
    if (LinkShow == lsAlways) {
        for (int i = 0; i < FLinkList->Count(); ++i)
            DrawLink(p, static_cast<TphDataEntity_Link*>(FLinkList->Get(i)));
        return;
    }
    // Otherwise a link needs an end on screen: only links of items in rows on screen can qualify.
    std::vector<std::pair<int, TphDataEntity_Link*>> links;
    QSet<TphDataEntity_Link*> seen;
    for (TGantRow* row : FRowsOnScreen)
        for (TphDataList* layer : row->Layers->Lists)
            for (TphDataEntity* e : layer->Loaded)
                for (TphDataEntity_Link* link : static_cast<TphDataEntity_GantTime*>(e)->Links())
                    if (link->Owner == FLinkList && !seen.contains(link)) {
                        seen.insert(link);
                        links.emplace_back(link->GetIndex(), link);
                    }
    std::sort(links.begin(), links.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [index, link] : links)
        DrawLink(p, link);
}

void TphGant::DrawLink(QPainter& p, TphDataEntity_Link* link) {
    TphDataEntity_GantTime* from = link->FromTime();
    TphDataEntity_GantTime* to = link->ToTime();
    if (!from || !to) return;
    TGantRow* fromRow = from->Row();
    TGantRow* toRow = to->Row();
    if (!fromRow || !toRow || !from->GetVisible() || !to->GetVisible()) return;
    const double start = FScaler->Start();
    const double stop = FScaler->Stop();
    if (from->StopTime < start && to->StartTime < start) return;
    if (from->StopTime > stop && to->StartTime > stop) return;
    const int h = FArea->height();
    const double f = FArea->Printing() ? FArea->PrintFactorHorz() : 1.0;
    QRect rf = ItemRect(from);
    QRect rt = ItemRect(to);
    bool fromIn = overlapsWindow(from, start, stop) && !rf.isEmpty();
    bool toIn = overlapsWindow(to, start, stop) && !rt.isEmpty();
    // An end whose row is off screen sits just above or below the area, at its item's time.
    auto placeOff = [&](TphDataEntity_GantTime* item, TGantRow* row, TGantRow* other, QRect& r) {
        if (!r.isEmpty()) return;
        const int ri = FGrid->DisplayIndexOf(static_cast<TphDataEntity_GridTreeNode*>(row->Node));
        const int oi = FGrid->DisplayIndexOf(static_cast<TphDataEntity_GridTreeNode*>(other->Node));
        if (ri < 0) return;
        const int x = FScaler->PixelAtDate((item->StartTime + item->StopTime) / 2);
        const int y = ri < oi || ri < FGrid->TopRow() ? -10 : h + 10;
        r = QRect(x, y, 1, 1);
    };
    placeOff(from, fromRow, toRow, rf);
    placeOff(to, toRow, fromRow, rt);
    const bool fromPlaced = !rf.isEmpty();
    const bool toPlaced = !rt.isEmpty();
    if (!fromPlaced && !toPlaced) return;
    if (!fromPlaced) rf = rt.translated(0, -10);
    if (!toPlaced) rt = rf.translated(0, 10);
    switch (LinkShow) {
    case lsOneEndVisible:
        if (!fromIn && !toIn) return;
        break;
    case lsBothEndsVisible:
        if (!fromIn || !toIn) return;
        break;
    case lsAlways:
        break;
    }
    const TLinkStyle style = fromRow == toRow ? TLinkStyle::tlsDefault : link->LinkStyle;
    const int fromMid = rf.top() + rf.height() / 2;
    int endY = rt.top() + rt.height() / 2;
    if (style == TLinkStyle::tlsMSProject) endY = rf.top() < rt.top() ? rt.top() : rt.top() + rt.height();
    int sx;
    int ex;
    int offset;
    const int fromRight = rf.left() + rf.width();
    const int toRight = rt.left() + rt.width();
    switch (link->LinkKind) {
    case 1:
        sx = rf.left(), ex = rt.left(), offset = 0;
        break;
    case 2:
        sx = rf.left(), ex = toRight, offset = -3;
        break;
    case 3:
        sx = fromRight, ex = rt.left(), offset = 3;
        break;
    case 4:
        sx = fromRight, ex = toRight, offset = -3;
        break;
    default:
        if (rf.left() + rf.width() / 2 < rt.left() + rt.width() / 2)
            sx = fromRight, ex = rt.left(), offset = 3;
        else
            sx = rf.left(), ex = toRight, offset = -3;
        break;
    }
    if (style == TLinkStyle::tlsMSProject) ex += offset;
    const QPoint startPt(sx, fromMid);
    QPoint endPt(ex, endY);
    if (style == TLinkStyle::tlsUserDraw) {
        if (OnUserDrawLinks) OnUserDrawLinks(this, link, endPt, startPt, &p);
        return;
    }
    const QColor color = qc(link->LinkColor);
    p.setPen(QPen(color, std::max(0, link->LinkPenWidth)));
    p.setBrush(Qt::NoBrush);
    const int s3 = std::max(1, int(3 * f));
    const int s7 = std::max(1, int(7 * f));
    const QRect clip = p.hasClipping() ? p.clipBoundingRect().toRect() : FArea->rect();
    auto openHead = [&](QPoint e, int dir) {
        if (!clip.contains(e)) return;
        p.drawLine(e, e + QPoint(-dir * s3, -s3));
        p.drawLine(e, e + QPoint(-dir * s3, s3));
    };
    if (link->LinkKind == 1) {
        const int x = std::min(sx, ex) - s7;
        const QPoint pts[4] = {startPt, {x, fromMid}, {x, endY}, endPt};
        p.drawPolyline(pts, 4);
        openHead(endPt, 1);
        return;
    }
    if (style == TLinkStyle::tlsDefault) {
        const int dir = ex >= sx ? 1 : -1;
        endPt.rx() -= dir;
        const int mx = (sx + endPt.x()) / 2;
        const QPoint pts[4] = {startPt, {mx, fromMid}, {mx, endY}, endPt};
        p.drawPolyline(pts, 4);
        openHead(endPt, dir);
        return;
    }
    // The project-plan look: across, then straight into the item with a filled head.
    const int x = ex > sx ? ex + s3 : ex - s3;
    const int down = endY > fromMid ? 1 : -1;
    const int tipY = endY - down;
    const QPoint pts[3] = {startPt, {x, fromMid}, {x, tipY - down * s3}};
    p.drawPolyline(pts, 3);
    if (clip.contains(QPoint(x, tipY))) {
        p.setBrush(color);
        const QPoint head[3] = {{x - s3, tipY - down * s3}, {x + s3, tipY - down * s3}, {x, tipY}};
        p.drawPolygon(head, 3);
    }
}
