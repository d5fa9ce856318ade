#include "frame/KVForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVariant>

#include "controls/KvColor.h"
#include "controls/KvGuard.h"
#include "lang/CodeConverter.h"
#include "lang/LanguageController.h"

TKVForm::TKVForm(QWidget* owner) : QWidget(owner, Qt::Window) {
    KvConverter = new TCodeConverter(this);
    KvConverter->setObjectName("KvConverter");
    KvConverter->SetDesignType(dtClient);
    LangController = new TKvLangController(this);
    LangController->setObjectName("LangController");
    LangController->SetActive(false);
    // What every form of the module inherits: not scaled, hints on, the module's font on the button face.
    QFont face(QStringLiteral("宋体"));
    face.setPixelSize(13);
    setFont(face);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    qApp->installEventFilter(this);
}

TKVForm::~TKVForm() {
    qApp->removeEventFilter(this);
}

void TKVForm::AfterConstruction() {
    if (FCreated) return;
    FCreated = true;
    FormCreate();
}

void TKVForm::FormCreate() {
    FConverted = false;
    TranslateOnShow = true;
    const bool english = GetUICodePage() == QLatin1String("437");
    const QList<QObject*> components = findChildren<QObject*>();
    for (QObject* component : components) {
        if (FindProperty(component, "ImeName").isValid()) component->setProperty("ImeName", QString());
        if (english && FindProperty(component, "Font").isValid()) {
            SetPropValueIncludeSub(component, "Font.Charset", GB2312_CHARSET);
            SetPropValueIncludeSub(component, "Font.Name", QStringLiteral("Tahoma"));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(component)) KvPrepareGlyph(button);
    }
    // Forms open in the middle of the screen.
    if (!parentWidget())
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
}

void TKVForm::FormShow() {
    if (TranslateOnShow) TranslateForm(this, true);
}

bool TKVForm::event(QEvent* e) {
    // The form's own events (showing, closing, requests posted to it) end here whatever they raise.
    try {
        if (e->type() == QEvent::Polish) AfterConstruction();
        return QWidget::event(e);
    } catch (...) {
        KvReportException(KvEventPlace(metaObject()->className(), e), std::current_exception());
        return true;
    }
}

bool TKVForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        // Only keys meant for this form's own window; the form itself gets them through the same route.
        // A key a control ignores travels on to its parents and passes here again; the form only acts
        // on keys it then takes, so looking twice changes nothing.
        if (widget->window() != this) return QWidget::eventFilter(watched, e);
        try {
            return FormKeyDown(static_cast<QKeyEvent*>(e), widget);
        } catch (...) {
            KvReportException(KvEventPlace(metaObject()->className(), e), std::current_exception());
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void TKVForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!e->spontaneous()) FormShow();
}

void TKVForm::ConvertOnce() {
    if (FConverted) return;
    KvConverter->DoTranslate(this, QString(), true);
    FConverted = true;
}

QString TKVForm::GetSystemCodePage() const {
    return KvConverter->SystemCodePage;
}

QString TKVForm::GetUICodePage() const {
    return KvConverter->UICodePage;
}

int TKVForm::GetUIChangeType() const {
    return KvConverter->UIChangeType;
}

int TKVForm::GetDataChangeType() const {
    return KvConverter->DataChangeType;
}

int TKVForm::KvMessageDlg(const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons) {
    return KvConverter->KvCodeMessageDlg(msg, dlgType, buttons);
}

void TKVForm::GetLangText(const QString& className, const QString& ident, QString& text, bool convert,
                          const QString& fallback) const {
    const QString shown = convert ? KvConverter->ConvertUIString(fallback).toString() : fallback;
    text = GetMessage(TDesignType(LangController->DesignType()), className, ident, shown);
}

QString TKVForm::LangText(const QString& className, const QString& ident, const QString& fallback) const {
    QString text;
    GetLangText(className, ident, text, true, fallback);
    return text;
}

void TKVForm::TranslateForm(QObject* target, bool withAncestors) {
    TranslateClasses(target, withAncestors, false);
}

void TKVForm::TranslateFormBelowBase(QObject* target, bool withAncestors) {
    TranslateClasses(target, withAncestors, true);
}

void TKVForm::TranslateClasses(QObject* target, bool withAncestors, bool belowBase) {
    if (!target) return;
    QStringList classes;
    for (const QMetaObject* m = target->metaObject(); m && m != &QWidget::staticMetaObject;
         m = m->superClass()) {
        if (belowBase && m == &TKVForm::staticMetaObject) break;
        const QString name = QString::fromLatin1(m->className());
        // The controller's view of the main form is glue, not a form with texts of its own.
        if (name != QLatin1String("TDLLForm")) classes.prepend(name);
        if (!withAncestors) break;
    }
    for (const QString& name : std::as_const(classes)) {
        LangController->SetLangPackageName(name);
        ReadLanguageFile(*LangController, target);
    }
}

QImage KvDisabledGlyph(const QImage& source, QRgb transparent, QRgb face, QRgb highlight, QRgb shadow) {
    const QImage src = source.convertToFormat(QImage::Format_RGB888);
    const int w = src.width(), h = src.height();
    const QRgb t = transparent & 0xFFFFFF;
    const auto isT = [&](int x, int y) {
        x = std::clamp(x, 0, w - 1);
        y = std::clamp(y, 0, h - 1);
        return (src.pixel(x, y) & 0xFFFFFF) == t;
    };
    // The mask: marked pixels are the ones drawn in the disabled picture.
    QImage mask(w, h, QImage::Format_Mono);
    mask.setColor(0, qRgb(255, 255, 255));
    mask.setColor(1, qRgb(0, 0, 0));
    mask.fill(0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (isT(x, y)) continue;
            const QRgb p = src.pixel(x, y);
            const bool dark = qRed(p) + qGreen(p) + qBlue(p) < 384;
            if (dark || isT(x, y - 1) || isT(x, y + 1) || isT(x - 1, y) || isT(x + 1, y))
                mask.setPixel(x, y, 1);
        }
    QImage result(w, h, QImage::Format_RGB32);
    result.fill(face);
    const auto stamp = [&](int dx, int dy, QRgb colour) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (mask.pixelIndex(x, y) == 1 && x + dx < w && y + dy < h)
                    result.setPixel(x + dx, y + dy, colour);
    };
    stamp(1, 1, highlight);
    stamp(0, 0, shadow);
    return result;
}

QImage KvDoubleGlyph(const QImage& source, QRgb transparent, QRgb face, QRgb highlight, QRgb shadow) {
    const QImage disabled = KvDisabledGlyph(source, transparent, face, highlight, shadow);
    QImage strip(source.width() * 2, source.height(), QImage::Format_RGB32);
    strip.fill(transparent);
    QPainter painter(&strip);
    painter.drawImage(0, 0, source.convertToFormat(QImage::Format_RGB32));
    painter.drawImage(source.width(), 0, disabled);
    return strip;
}

bool KvPrepareGlyph(QWidget* widget) {
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (!button || button->icon().isNull()) return false;
    const QVariant glyphs = button->property("NumGlyphs");
    if (glyphs.isValid() && glyphs.toInt() != 1) return false;
    if (button->property("KvNumGlyphs").toInt() == 2) return false;
    const QSize size = button->iconSize();
    const QList<QSize> sizes = button->icon().availableSizes();
    const QPixmap pixmap = button->icon().pixmap(sizes.isEmpty() ? size : sizes.first());
    if (pixmap.isNull()) return false;
    // A glyph's transparent colour is its bottom-left pixel; pictures with an alpha channel are laid
    // on that colour first, so that every pixel has one.
    QImage image = pixmap.toImage();
    const QRgb transparent = image.pixel(0, image.height() - 1) | 0xFF000000;
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(qAlpha(image.pixel(0, image.height() - 1)) == 0 ? QRgb(0xFFFF00FF) : transparent);
        QPainter(&flat).drawImage(0, 0, image);
        image = flat;
    }
    const QRgb t = image.pixel(0, image.height() - 1);
    const QRgb face = TColorToQColor(int(0x8000000F)).rgb();
    const QRgb highlight = TColorToQColor(int(0x80000014)).rgb();
    const QRgb shadow = TColorToQColor(int(0x80000010)).rgb();
    const QImage strip = KvDoubleGlyph(image, t, face, highlight, shadow);
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(strip.copy(image.width(), 0, image.width(), image.height())),
                   QIcon::Disabled);
    button->setIcon(icon);
    button->setProperty("KvGlyph", strip);
    button->setProperty("KvNumGlyphs", 2);
    return true;
}
