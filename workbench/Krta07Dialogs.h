#pragma once
// Pieces the workbench's small list dialogs share.
class QBoxLayout;
class QDialog;
class QPushButton;

// The row of "确定" (btnOk, accepts) and "取消" (btnCancel, rejects) at the right of a dialog's layout.
void Krta07AddOkCancel(QDialog* dialog, QBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel);
