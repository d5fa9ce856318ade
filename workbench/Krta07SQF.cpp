#include "workbench/Krta07SQF.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "controls/F2Button.h"
#include "controls/KvEdit.h"
#include "controls/KvGuard.h"
#include "controls/KvMessages.h"
#include "lang/CodeConverter.h"
#include "workbench/Krta07SMF.h"

TfrmKrta07SQ::TfrmKrta07SQ(TfrmKrta07SM* workbench) : TKVForm(workbench), FWorkbench(workbench) {
    setObjectName(QStringLiteral("frmKrta07SQ"));
    setWindowFlag(Qt::Dialog);
    setWindowModality(Qt::ApplicationModal);
    auto* grid = new QGridLayout(this);
    auto edit = [this](const char* name, const char* caption, int maxLength) {
        auto* e = new TKvEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        if (caption) e->SetCaption(QString::fromUtf8(caption));
        e->setMaxLength(maxLength);
        return e;
    };
    auto f2 = [this](const char* name, TKvEdit* target) {
        auto* b = new TF2Button(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetAutoAlign(false);
        b->SetF2Control(target);
        return b;
    };
    edMB001 = edit("edMB001", "工厂", 6);
    edTB036 = edit("edTB036", "主要资源", 10);
    edTB004 = edit("edTB004", nullptr, 21);
    btnMB001 = f2("btnMB001", edMB001);
    btnTB036 = f2("btnTB036", edTB036);
    btnTB004 = f2("btnTB004", edTB004);
    lblMB001C = new QLabel(this);
    lblMB001C->setObjectName(QStringLiteral("lblMB001C"));
    lblTB036C = new QLabel(this);
    lblTB036C->setObjectName(QStringLiteral("lblTB036C"));
    lblTB004 = new QLabel(QString::fromUtf8("来源单号"), this);
    lblTB004->setObjectName(QStringLiteral("lblTB004"));
    btnOK = new QPushButton(QString::fromUtf8("确定"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = new QPushButton(QString::fromUtf8("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    grid->setColumnMinimumWidth(0, 70);
    grid->addWidget(edMB001, 0, 1);
    grid->addWidget(btnMB001, 0, 2);
    grid->addWidget(lblMB001C, 0, 3);
    grid->addWidget(edTB036, 1, 1);
    grid->addWidget(btnTB036, 1, 2);
    grid->addWidget(lblTB036C, 1, 3);
    grid->addWidget(lblTB004, 2, 0);
    grid->addWidget(edTB004, 2, 1);
    grid->addWidget(btnTB004, 2, 2);
    grid->addWidget(btnOK, 3, 1);
    grid->addWidget(btnCancel, 3, 3);
    grid->setColumnStretch(3, 1);
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { close(); });
    resize(460, 150);
}

TfrmKrta07SQ::~TfrmKrta07SQ() = default;

void TfrmKrta07SQ::FormCreate() {
    TKVForm::FormCreate();
    edTB004->setInputMask(QStringLiteral("nnnn-nnnnnnnnnnn-nnnn; "));
}

void TfrmKrta07SQ::FormShow() {
    TKVForm::FormShow();
    ConvertOnce();
    if (FWorkbench) setWindowTitle(FWorkbench->windowTitle());
}

bool TfrmKrta07SQ::Execute(QStringList& result) {
    FAccepted = false;
    show();
    edMB001->setFocus();
    QEventLoop loop;
    FLoop = &loop;
    KvRunModalLoop(loop, [this] { return !isVisible(); });
    FLoop = nullptr;
    if (!FAccepted) return false;
    result = {edMB001->text(), lblMB001C->text(), edTB036->text(), lblTB036C->text(), SourceDocText()};
    return true;
}

QString TfrmKrta07SQ::SourceDocText() const {
    const QString shown = edTB004->displayText();
    auto part = [&shown](int from, int len) {
        return shown.mid(from, len).leftJustified(len, QLatin1Char(' '));
    };
    return (part(0, 4) + part(5, 11) + part(17, 4)).trimmed();
}

void TfrmKrta07SQ::ShowMessage(int index) {
    if (KvConverter)
        KvConverter->KvCodeMessageDlg(FWorkbench ? FWorkbench->Message(index) : QString(), mtError, mbOK);
}

void TfrmKrta07SQ::MoveFocus(QWidget* to) {
    FMovingFocus = true;
    to->setFocus();
    FMovingFocus = false;
}

void TfrmKrta07SQ::FieldLeft(TKvEdit* edit, Qt::FocusReason reason) {
    // The planner left the field: by Tab, a click or a shortcut. The dialog's own moves, a window
    // that came up over it, OK (it checks before it accepts) and Cancel need no check here.
    if (FMovingFocus || !isVisible()) return;
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
        reason == Qt::MenuBarFocusReason)
        return;
    QWidget* to = QApplication::focusWidget();
    if (to == btnOK || to == btnCancel) return;
    // After the focus change: a message box in the middle of it would break the click that caused it.
    int& serial = edit == edMB001 ? FFactoryChecks : FResourceChecks;
    QTimer::singleShot(0, this, [this, edit, &serial, queued = serial] {
        if (serial != queued || !isVisible()) return; // checked meanwhile
        if (edit == edMB001)
            CheckFactory();
        else
            CheckResource();
    });
}

bool TfrmKrta07SQ::eventFilter(QObject* watched, QEvent* e) {
    // The form watches the whole application (for its keys): the focus of its two code edits too.
    if (e->type() == QEvent::FocusOut && (watched == edMB001 || watched == edTB036))
        FieldLeft(static_cast<TKvEdit*>(watched), static_cast<QFocusEvent*>(e)->reason());
    return TKVForm::eventFilter(watched, e);
}

bool TfrmKrta07SQ::CheckFactory() {
    ++FFactoryChecks;
    const QString factory = edMB001->text().trimmed();
    if (factory.isEmpty()) return true;
    QStringList row;
    TKrta07DataCalls* calls = FWorkbench ? FWorkbench->DataCalls() : nullptr;
    if (!calls || !calls->CheckCode(QStringLiteral("CMSMB"), QStringLiteral("01"), factory, row)) {
        lblMB001C->clear();
        ShowMessage(9);
        MoveFocus(edMB001);
        return false;
    }
    lblMB001C->setText(row.value(0));
    return true;
}

bool TfrmKrta07SQ::CheckResource() {
    ++FResourceChecks;
    const QString resource = edTB036->text().trimmed();
    if (resource.isEmpty()) {
        lblTB036C->clear();
        return true;
    }
    QStringList row;
    TKrta07DataCalls* calls = FWorkbench ? FWorkbench->DataCalls() : nullptr;
    if (!calls || !calls->CheckCode(QStringLiteral("MPSMB"), QStringLiteral("01"), resource, row)) {
        lblTB036C->clear();
        ShowMessage(10);
        MoveFocus(edTB036);
        return false;
    }
    lblTB036C->setText(row.value(1));
    return true;
}

void TfrmKrta07SQ::btnOKClick() {
    if (edMB001->text().trimmed().isEmpty()) {
        lblMB001C->clear();
        ShowMessage(8);
        MoveFocus(edMB001);
        return;
    }
    // A code typed and never left (OK pressed from the field) is checked before it is taken.
    if (!CheckFactory() || !CheckResource()) return;
    FAccepted = true;
    close();
}

void TfrmKrta07SQ::Lookup(QWidget* edit) {
    TKrta07DataCalls* calls = FWorkbench ? FWorkbench->DataCalls() : nullptr;
    if (!calls) return;
    if (edit == edMB001) {
        const QStringList row = calls->OpenLookup(QStringLiteral("CMSMB"), QStringLiteral("01"), {});
        if (!row.isEmpty()) edMB001->setText(row[0]);
    } else if (edit == edTB036) {
        const QStringList row = calls->OpenLookup(QStringLiteral("MPSMB"), QStringLiteral("01"), {});
        if (!row.isEmpty()) edTB036->setText(row[0]);
    } else if (edit == edTB004) {
        const QStringList row =
            calls->OpenLookup(QStringLiteral("MPSTA"), QStringLiteral("02"), {edMB001->text().trimmed()});
        if (row.size() >= 4)
            edTB004->setText(row[1].leftJustified(4, QLatin1Char(' ')) + QLatin1Char('-') +
                             row[2].leftJustified(11, QLatin1Char(' ')) + QLatin1Char('-') +
                             row[3].leftJustified(4, QLatin1Char(' ')));
    }
}

bool TfrmKrta07SQ::FormKeyDown(QKeyEvent* key, QWidget* target) {
    QWidget* w = target ? target : focusWidget();
    if (key->key() == Qt::Key_F2 && (w == edMB001 || w == edTB036 || w == edTB004)) {
        Lookup(w);
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (w == edMB001) {
            if (CheckFactory()) MoveFocus(edTB036);
            return true;
        }
        if (w == edTB036) {
            if (CheckResource()) MoveFocus(edTB004);
            return true;
        }
        if (w == edTB004) {
            btnOK->setFocus();
            return true;
        }
    }
    return false;
}

bool TfrmKrta07SQ::event(QEvent* e) {
    if (e->type() == kv::LookupRequestEvent) {
        Lookup(static_cast<kv::TLookupRequestEvent*>(e)->edit());
        return true;
    }
    return TKVForm::event(e);
}

void TfrmKrta07SQ::closeEvent(QCloseEvent* e) {
    TKVForm::closeEvent(e);
    if (FLoop) FLoop->quit();
}
