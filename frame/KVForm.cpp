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

TKVForm::TKVForm(QWidget* Owner) : QWidget(Owner, Qt::Window) {
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

bool TKVForm::eventFilter(QObject* Watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && Watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(Watched);
        // Only keys meant for this form's own window; the form itself gets them through the same route.
        // A key a control ignores travels on to its parents and passes here again; the form only acts
        // on keys it then takes, so looking twice changes nothing.
        if (widget->window() != this) return QWidget::eventFilter(Watched, e);
        try {
            return FormKeyDown(static_cast<QKeyEvent*>(e), widget);
        } catch (...) {
            KvReportException(KvEventPlace(metaObject()->className(), e), std::current_exception());
            return true;
        }
    }
    return QWidget::eventFilter(Watched, e);
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

int TKVForm::KvMessageDlg(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
    return KvConverter->KvCodeMessageDlg(Msg, DlgType, Buttons);
}

void TKVForm::GetLangText(const QString& ClassName, const QString& Ident, QString& Text, bool Convert,
                          const QString& Default) const {
    const QString fallback = Convert ? KvConverter->ConvertUIString(Default).toString() : Default;
    Text = GetMessage(TDesignType(LangController->DesignType()), ClassName, Ident, fallback);
}

QString TKVForm::LangText(const QString& ClassName, const QString& Ident, const QString& Default) const {
    QString text;
    GetLangText(ClassName, Ident, text, true, Default);
    return text;
}

void TKVForm::TranslateForm(QObject* Target, bool WithAncestors) {
    TranslateClasses(Target, WithAncestors, false);
}

void TKVForm::TranslateFormBelowBase(QObject* Target, bool WithAncestors) {
    TranslateClasses(Target, WithAncestors, true);
}

void TKVForm::TranslateClasses(QObject* Target, bool WithAncestors, bool BelowBase) {
    if (!Target) return;
    QStringList classes;
    for (const QMetaObject* m = Target->metaObject(); m && m != &QWidget::staticMetaObject;
         m = m->superClass()) {
        if (BelowBase && m == &TKVForm::staticMetaObject) break;
        const QString name = QString::fromLatin1(m->className());
        // The controller's view of the main form is glue, not a form with texts of its own.
        if (name != QLatin1String("TDLLForm")) classes.prepend(name);
        if (!WithAncestors) break;
    }
    for (const QString& name : std::as_const(classes)) {
        LangController->SetLangPackageName(name);
        ReadLanguageFile(*LangController, Target);
    }
}

QImage KvDisabledGlyph(const QImage& Source, QRgb Transparent, QRgb Face, QRgb Highlight, QRgb Shadow) {
    const QImage src = Source.convertToFormat(QImage::Format_RGB888);
    const int w = src.width(), h = src.height();
    const QRgb t = Transparent & 0xFFFFFF;
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
    result.fill(Face);
    const auto stamp = [&](int dx, int dy, QRgb colour) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (mask.pixelIndex(x, y) == 1 && x + dx < w && y + dy < h)
                    result.setPixel(x + dx, y + dy, colour);
    };
    stamp(1, 1, Highlight);
    stamp(0, 0, Shadow);
    return result;
}

QImage KvDoubleGlyph(const QImage& Source, QRgb Transparent, QRgb Face, QRgb Highlight, QRgb Shadow) {
    const QImage disabled = KvDisabledGlyph(Source, Transparent, Face, Highlight, Shadow);
    QImage strip(Source.width() * 2, Source.height(), QImage::Format_RGB32);
    strip.fill(Transparent);
    QPainter painter(&strip);
    painter.drawImage(0, 0, Source.convertToFormat(QImage::Format_RGB32));
    painter.drawImage(Source.width(), 0, disabled);
    return strip;
}

bool KvPrepareGlyph(QWidget* Button) {
    auto* button = qobject_cast<QAbstractButton*>(Button);
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
