#include "host/client/ClientWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TClientWindow::TClientWindow(QWidget* parent) : QWidget(parent) {
    setObjectName("ClientWindow");
    setWindowTitle("Tarnix client");
    lblSession = new QLabel(this);
    lblSession->setObjectName("lblSession");
    memLog = new QPlainTextEdit(this);
    memLog->setObjectName("memLog");
    memLog->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSession);
    layout->addWidget(memLog);
    resize(520, 320);
}

void TClientWindow::setSession(const QString& pluginPath, const QString& user, const QString& company,
                               const QString& database) {
    lblSession->setText(QString("Program: %1\nUser: %2    Company: %3    Database: %4")
                            .arg(QFileInfo(pluginPath).fileName(), user, company, database));
}

void TClientWindow::log(const QString& line) {
    memLog->appendPlainText(line);
}

void TClientWindow::closeEvent(QCloseEvent* e) {
    emit closing();
    e->accept();
}
