#pragma once
// TExtPageControl: a page control whose tabs the control draws itself; TTabSheet is one page.
#include <QTabBar>
#include <QTabWidget>
#include <functional>

class TTabSheet : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool TabVisible READ TabVisible WRITE SetTabVisible)

public:
    explicit TTabSheet(QWidget* parent = nullptr) : QWidget(parent) {}
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool value);

private:
    QTabWidget* pageControl() const;
    QString FCaption;
    bool FTabVisible = true;
};

class TExtPageControl : public QTabWidget {
    Q_OBJECT
    Q_PROPERTY(int ActivePageIndex READ currentIndex WRITE setCurrentIndex)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    // OnDrawTab: draws tab n itself (painter, tab index, rectangle, active).
    using DrawTabEvent = std::function<void(QPainter&, int, const QRect&, bool)>;

    explicit TExtPageControl(QWidget* parent = nullptr);
    // Adds a page; its caption is the tab text.
    int AddPage(TTabSheet* page);
    TTabSheet* Page(int index) const;

    DrawTabEvent OnDrawTab;
};

// The tab bar of TExtPageControl: draws the tabs in the caption colours.
class TExtTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TExtTabBar(TExtPageControl* owner);

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize tabSizeHint(int index) const override;

private:
    TExtPageControl* FOwner;
};
