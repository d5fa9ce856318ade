#include "workbench/Krta07Dialogs.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

void Krta07AddOkCancel(QDialog* dialog, QBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel) {
    auto* buttons = new QHBoxLayout;
    ok = new QPushButton(QString::fromUtf8("确定"), dialog);
    ok->setObjectName(QStringLiteral("btnOk"));
    cancel = new QPushButton(QString::fromUtf8("取消"), dialog);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}
