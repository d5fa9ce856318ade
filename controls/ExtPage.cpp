#include "controls/ExtPage.h"

#include <QPainter>
#include <QStackedWidget>

void TTabSheet::SetCaption(const QString& caption) {
    FCaption = caption;
    if (QTabWidget* pc = pageControl()) {
        const int i = pc->indexOf(this);
        if (i >= 0) pc->setTabText(i, caption);
    }
}

void TTabSheet::SetTabVisible(bool value) {
    FTabVisible = value;
    if (QTabWidget* pc = pageControl()) {
        const int i = pc->indexOf(this);
        if (i >= 0) pc->setTabVisible(i, value);
    }
}

QTabWidget* TTabSheet::pageControl() const {
    // Pages sit in the tab widget's stack: parent is the stack, its parent the tab widget.
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* tw = qobject_cast<QTabWidget*>(w)) return tw;
    return nullptr;
}

TExtPageControl::TExtPageControl(QWidget* parent) : QTabWidget(parent) {
    setTabBar(new TExtTabBar(this));
}

int TExtPageControl::AddPage(TTabSheet* page) {
    const int i = addTab(page, page->Caption());
    setTabVisible(i, page->TabVisible());
    return i;
}

TTabSheet* TExtPageControl::Page(int index) const {
    return qobject_cast<TTabSheet*>(widget(index));
}

TExtTabBar::TExtTabBar(TExtPageControl* owner) : QTabBar(owner), FOwner(owner) {}

QSize TExtTabBar::tabSizeHint(int index) const {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    return {fm.horizontalAdvance(tabText(index)) + 24, fm.height() + 10};
}

void TExtTabBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    // Caption colours of the window title bar: highlight for the active one, mid grey for the rest.
    const QColor activeBack = pal.color(QPalette::Active, QPalette::Highlight);
    const QColor activeText = pal.color(QPalette::Active, QPalette::HighlightedText);
    const QColor inactiveBack = pal.color(QPalette::Inactive, QPalette::Mid);
    const QColor inactiveText = pal.color(QPalette::Inactive, QPalette::Window);
    for (int i = 0; i < count(); ++i) {
        if (!isTabVisible(i)) continue;
        const bool active = i == currentIndex();
        QRect r = tabRect(i);
        if (active) r.adjust(2, 2, -2, -2);
        if (FOwner && FOwner->OnDrawTab) {
            FOwner->OnDrawTab(p, i, r, active);
            continue;
        }
        p.fillRect(r, active ? activeBack : inactiveBack);
        QFont f = font();
        f.setBold(active);
        p.setFont(f);
        p.setPen(active ? activeText : inactiveText);
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, tabText(i));
    }
}
