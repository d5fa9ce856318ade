#include "workbench/Krta07Dialogs.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

void Krta07AddOkCancel(QDialog* Dialog, QBoxLayout* Layout, QPushButton*& Ok, QPushButton*& Cancel) {
    auto* buttons = new QHBoxLayout;
    Ok = new QPushButton(QString::fromUtf8("确定"), Dialog);
    Ok->setObjectName(QStringLiteral("btnOk"));
    Cancel = new QPushButton(QString::fromUtf8("取消"), Dialog);
    Cancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addStretch(1);
    buttons->addWidget(Ok);
    buttons->addWidget(Cancel);
    Layout->addLayout(buttons);
    QObject::connect(Ok, &QPushButton::clicked, Dialog, &QDialog::accept);
    QObject::connect(Cancel, &QPushButton::clicked, Dialog, &QDialog::reject);
}
