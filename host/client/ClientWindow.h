#pragma once
// The client's own window: the session it opened and what the module reported. Its handle is the host
// window the module is told about.
#include <QWidget>

class QLabel;
class QPlainTextEdit;

class TClientWindow : public QWidget {
    Q_OBJECT

public:
    explicit TClientWindow(QWidget* parent = nullptr);

    void setSession(const QString& pluginPath, const QString& user, const QString& company,
                    const QString& database);
    void log(const QString& line);

signals:
    void closing();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    QLabel* lblSession;
    QPlainTextEdit* memLog;
};
