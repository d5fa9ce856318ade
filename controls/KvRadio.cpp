#include "controls/KvRadio.h"

#include <QPainter>
#include <QStyle>

TKvRadioButton::TKvRadioButton(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setAutoExclusive(true);
    setFocusPolicy(Qt::StrongFocus);
    resize(113, 17);
}

void TKvRadioButton::SetAlignment(int value) {
    FAlignment = value;
    update();
}

void TKvRadioButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int d = 12;
    const int y = (height() - d) / 2;
    const int x = FAlignment == 0 ? width() - d - 1 : 1;
    const QPalette& pal = palette();
    p.setPen(QPen(pal.color(QPalette::Dark), 1));
    p.setBrush(isEnabled() ? pal.color(QPalette::Base) : pal.color(QPalette::Window));
    p.drawEllipse(QRectF(x + 0.5, y + 0.5, d - 1, d - 1));
    if (isChecked()) {
        p.setPen(Qt::NoPen);
        p.setBrush(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawEllipse(QRectF(x + 3.5, y + 3.5, d - 7, d - 7));
    }
    const QRect textRect =
        FAlignment == 0 ? QRect(0, 0, width() - d - 5, height()) : QRect(d + 5, 0, width() - d - 5, height());
    style()->drawItemText(&p, textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, pal,
                          isEnabled(), text(), QPalette::WindowText);
    if (hasFocus()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::DotLine);
        p.setBrush(Qt::NoBrush);
        p.drawRect(p.boundingRect(textRect, Qt::AlignVCenter | Qt::AlignLeft, text()).adjusted(-1, 0, 0, -1));
    }
}

TKvRadioGroup::TKvRadioGroup(QWidget* parent) : QGroupBox(parent) {}

void TKvRadioGroup::SetItems(const QStringList& items) {
    // Changing only the texts (a translation) keeps the buttons and the choice.
    if (items.size() == FItems.size()) {
        FItems = items;
        for (int i = 0; i < FButtons.size(); ++i)
            FButtons[i]->setText(items[i]);
        return;
    }
    FItems = items;
    Rebuild();
}

void TKvRadioGroup::SetColumns(int value) {
    FColumns = qMax(1, value);
    ArrangeButtons();
}

TKvGroupButton* TKvRadioGroup::Button(int index) const {
    return index >= 0 && index < FButtons.size() ? FButtons[index] : nullptr;
}

void TKvRadioGroup::SetItemIndex(int value) {
    if (value < -1 || value >= FButtons.size()) value = -1;
    if (value == FItemIndex) return;
    FItemIndex = value;
    if (value >= 0) {
        FButtons[value]->setChecked(true);
    } else {
        // An exclusive group cannot uncheck its last button by itself.
        for (TKvGroupButton* b : FButtons) {
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
    }
    emit ItemIndexChanged(FItemIndex);
}

void TKvRadioGroup::Rebuild() {
    qDeleteAll(FButtons);
    FButtons.clear();
    for (int i = 0; i < FItems.size(); ++i) {
        auto* b = new TKvGroupButton(this);
        b->setText(FItems[i]);
        b->setProperty("kvSubComponent", true); // its text is a line of the group's Items
        connect(b, &QAbstractButton::toggled, this, &TKvRadioGroup::ButtonToggled);
        b->show();
        FButtons << b;
    }
    const int old = FItemIndex;
    FItemIndex = -1;
    if (old >= 0 && old < FButtons.size())
        SetItemIndex(old);
    else if (old != -1)
        emit ItemIndexChanged(-1);
    ArrangeButtons();
}

void TKvRadioGroup::ButtonToggled() {
    for (int i = 0; i < FButtons.size(); ++i) {
        if (FButtons[i]->isChecked() && FItemIndex != i) {
            FItemIndex = i;
            emit ItemIndexChanged(i);
        }
    }
}

void TKvRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    ArrangeButtons();
}

void TKvRadioGroup::ArrangeButtons() {
    if (FButtons.isEmpty()) return;
    // The group box's contents rectangle already leaves room for its title.
    const QRect area = contentsRect().adjusted(8, 0, -8, -2);
    const int rows = (int(FButtons.size()) + FColumns - 1) / FColumns;
    const int colWidth = area.width() / FColumns;
    const int rowHeight = qMax(17, rows ? area.height() / rows : 17);
    for (int i = 0; i < FButtons.size(); ++i) {
        const int col = i / rows;
        const int row = i % rows;
        FButtons[i]->setGeometry(area.left() + col * colWidth, area.top() + row * rowHeight, colWidth,
                                 qMin(rowHeight, 20));
    }
}
