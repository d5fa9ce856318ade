#pragma once
// TfrmRunningWinC: the small borderless window that tells the user a report is being opened.
#include <QWidget>

class QLabel;
class QProgressBar;

class TfrmRunningWinC : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    explicit TfrmRunningWinC(QWidget* owner);

    QString Caption() const;
    void SetCaption(const QString& text);
    // Shows the window centred on its owner and lets it paint before the slow work starts.
    void ShowCentred();

    QLabel* lblRunning;
    QProgressBar* aniRunning;
};
