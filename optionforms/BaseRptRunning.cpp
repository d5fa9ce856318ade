#include "optionforms/BaseRptRunning.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TfrmRunningWinC::TfrmRunningWinC(QWidget* owner) : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint) {
    setObjectName("frmRunningWinC");
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::cyan);
    setPalette(p);
    auto* layout = new QVBoxLayout(this);
    lblRunning = new QLabel(QStringLiteral("报表开启中，请稍候..."), this);
    lblRunning->setObjectName("lblRunning");
    lblRunning->setAlignment(Qt::AlignCenter);
    // A busy bar stands for the find-file animation: the work has no measurable progress.
    aniRunning = new QProgressBar(this);
    aniRunning->setObjectName("aniRunning");
    aniRunning->setRange(0, 0);
    aniRunning->setTextVisible(false);
    layout->addWidget(lblRunning);
    layout->addWidget(aniRunning);
    resize(260, 70);
}

QString TfrmRunningWinC::Caption() const {
    return lblRunning->text();
}

void TfrmRunningWinC::SetCaption(const QString& text) {
    lblRunning->setText(text);
}

void TfrmRunningWinC::ShowCentred() {
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
