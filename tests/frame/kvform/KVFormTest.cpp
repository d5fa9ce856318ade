// The base form: glyphs with a disabled picture, fonts for an English interface, conversion once,
// language texts and packages.
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "common/TestSupport.h"
#include "controls/GSpdBtn.h"
#include "controls/KvMsgDlgHook.h"
#include "platform/KvError.h"
#include "frame/KVForm.h"
#include "lang/CodeConverter.h"
#include "lang/LanguageController.h"
#include "platform/CodePage.h"

namespace {

constexpr QRgb T = 0xFFFF00FF, Face = 0xFFC0C0C0, Hi = 0xFFFFFFFF, Sh = 0xFF808080;

// Launcher settings with a chosen interface code page.
class Installation {
public:
    explicit Installation(const QString& ui) {
        const QString install = FDir.path() + "/client/";
        testsupport::writeFile(
            FDir.path() + "/registry.ini",
            QString("[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=%1\nServerPath=%1\n")
                .arg(install)
                .toUtf8());
        testsupport::writeFile(install + "StewardC.ini",
                               QString("[CodePage]\nUICodePage=%1\nDBCodePage=936\n").arg(ui).toUtf8());
        FEnv = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                        (FDir.path() + "/registry.ini").toUtf8());
        kv::codepage::setSystemCodePageOverride(ui == "437" ? 437 : ui.toInt());
    }
    ~Installation() { kv::codepage::setSystemCodePageOverride(0); }
    QString langDir(const QString& lang) const { return FDir.path() + "/client/MultiLanguage/" + lang + "/"; }
    // What the alert logs of the installation hold.
    QString alertLog() const {
        QString text;
        for (const QFileInfo& f : QDir(FDir.path() + "/client/Log").entryInfoList(QDir::Files))
            text += QString::fromUtf8(testsupport::readFile(f.filePath()));
        return text;
    }

private:
    QTemporaryDir FDir;
    std::unique_ptr<testsupport::ScopedEnv> FEnv;
};

class TCaptionLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)

public:
    using QLabel::QLabel;
};

class TfrmKvTest : public TKVForm {
    Q_OBJECT

public:
    explicit TfrmKvTest(QWidget* owner = nullptr) : TKVForm(owner) {
        setObjectName("frmKvTest");
        lblName = new TCaptionLabel("名称", this);
        lblName->setObjectName("lblName");
        btnRun = new QPushButton("执行", this);
        btnRun->setObjectName("btnRun");
    }
    QLabel* lblName;
    QPushButton* btnRun;
};

class TfrmKvChild : public TfrmKvTest {
    Q_OBJECT

public:
    using TfrmKvTest::TfrmKvTest;
};

} // namespace

TEST(KVFormGlyph, DisabledPictureFollowsTheMaskRule) {
    // 4x3: a dark pixel inside, a light pixel inside, a light pixel touching the transparent colour.
    QImage src(4, 3, QImage::Format_RGB32);
    src.fill(T);
    src.setPixel(1, 1, 0xFF101010); // dark: marked
    src.setPixel(2, 1, 0xFFF0F0F0); // light, touches T above and below: marked
    src.setPixel(1, 0, 0xFFF0F0F0); // light at the edge, touches T on its left: marked
    const QImage d = KvDisabledGlyph(src, T, Face, Hi, Sh);
    ASSERT_EQ(d.size(), src.size());
    EXPECT_EQ(d.pixel(1, 1), Sh);
    EXPECT_EQ(d.pixel(2, 1), Sh);
    EXPECT_EQ(d.pixel(1, 0), Sh);
    EXPECT_EQ(d.pixel(3, 2), Hi);   // highlight of (2, 1), one down and right
    EXPECT_EQ(d.pixel(2, 2), Hi);   // highlight of (1, 1)
    EXPECT_EQ(d.pixel(0, 0), Face); // transparent stays face
    EXPECT_EQ(d.pixel(3, 0), Face);

    // A light pixel surrounded by non-transparent pixels is not marked.
    QImage solid(3, 3, QImage::Format_RGB32);
    solid.fill(0xFFF0F0F0);
    solid.setPixel(0, 2, T); // the transparent colour is the bottom-left pixel's
    const QImage s = KvDisabledGlyph(solid, T, Face, Hi, Sh);
    EXPECT_EQ(s.pixel(1, 1), Face);
    EXPECT_EQ(s.pixel(1, 2), Sh); // touches the transparent corner

    const QImage strip = KvDoubleGlyph(src, T, Face, Hi, Sh);
    EXPECT_EQ(strip.size(), QSize(8, 3));
    EXPECT_EQ(strip.pixel(1, 1), 0xFF101010u);
    EXPECT_EQ(strip.pixel(4 + 1, 1), Sh);
}

TEST(KVFormGlyph, SingleGlyphButtonsGetTwoOnceOthersAreLeftAlone) {
    Installation ws("936");
    TGSpeedButton speed;
    speed.SetGlyphIndex(9);
    ASSERT_EQ(speed.NumGlyphs(), 1);
    const QSize side = speed.icon().availableSizes().value(0);
    ASSERT_TRUE(KvPrepareGlyph(&speed));
    EXPECT_EQ(speed.property("KvGlyph").value<QImage>().width(), side.width() * 2);
    EXPECT_FALSE(speed.icon().pixmap(side, QIcon::Disabled).isNull());
    EXPECT_FALSE(KvPrepareGlyph(&speed)); // already two

    QPushButton bit;
    QPixmap pm(16, 16);
    pm.fill(Qt::red);
    bit.setIcon(QIcon(pm));
    bit.setProperty("NumGlyphs", 2);
    EXPECT_FALSE(KvPrepareGlyph(&bit));
    EXPECT_FALSE(bit.property("KvGlyph").isValid());
    QPushButton plain;
    EXPECT_FALSE(KvPrepareGlyph(&plain)); // no glyph
}

TEST(KVForm, EnglishInterfaceGetsTahomaAndTheCodePageGetters) {
    Installation ws("437");
    TfrmKvTest form;
    form.AfterConstruction();
    EXPECT_EQ(form.GetUICodePage(), "437");
    EXPECT_EQ(form.GetSystemCodePage(), "437");
    EXPECT_EQ(form.lblName->font().family(), "Tahoma");
    EXPECT_EQ(form.btnRun->font().family(), "Tahoma");
    EXPECT_EQ(form.lblName->property("fontCharset").toInt(), 134);
    EXPECT_EQ(form.KvConverter->objectName(), "KvConverter");
    EXPECT_EQ(form.LangController->objectName(), "LangController");
    EXPECT_FALSE(form.LangController->GetActive());
}

TEST(KVForm, ChineseInterfaceKeepsFontsAndConvertsOnce) {
    Installation ws("936");
    TfrmKvTest form;
    form.AfterConstruction();
    EXPECT_NE(form.lblName->font().family(), "Tahoma");
    EXPECT_FALSE(form.Converted());
    form.ConvertOnce();
    EXPECT_TRUE(form.Converted());
}

TEST(KVForm, LanguageTextsAndPackagesOverTheClassChain) {
    Installation ws("950");
    const QString dir = ws.langDir("CHT");
    testsupport::writeFile(dir + "TKVForm.Lng",
                           "<r Caption='kv' Hint='kv hint'><lblName Caption='base'/></r>");
    testsupport::writeFile(dir + "TfrmKvTest.Lng", "<r Caption='test'><sHello Msg='你好'/></r>");
    testsupport::writeFile(dir + "TfrmKvChild.Lng", "<r><lblName Caption='child'/></r>");
    {
        TfrmKvChild form;
        form.AfterConstruction();
        form.TranslateForm(&form, true);
        EXPECT_EQ(form.windowTitle(), "test"); // the later package wins
        EXPECT_EQ(form.toolTip(), "kv hint");  // the earliest one still counts
        EXPECT_EQ(form.lblName->text(), "child");
        QString text;
        form.GetLangText("TfrmKvTest", "sHello", text, false, "x");
        EXPECT_EQ(text, QStringLiteral("你好"));
        // A missing identifier gives the default, converted for the traditional interface on request.
        form.GetLangText("TfrmKvTest", "sMissing", text, true, QStringLiteral("选项"));
        EXPECT_EQ(text, QStringLiteral("選項"));
        form.GetLangText("TfrmKvTest", "sMissing", text, false, QStringLiteral("选项"));
        EXPECT_EQ(text, QStringLiteral("选项"));
    }
    {
        TfrmKvChild form;
        form.TranslateFormBelowBase(&form, true);
        EXPECT_EQ(form.windowTitle(), "test");
        EXPECT_EQ(form.toolTip(), ""); // TKVForm's package is not read
    }
    {
        TfrmKvChild form;
        form.TranslateForm(&form, false);
        EXPECT_EQ(form.lblName->text(), "child");
        EXPECT_NE(form.windowTitle(), "test");
    }
    {
        // Shown: the packages are read on every show while asked to.
        TfrmKvChild form;
        form.show();
        EXPECT_EQ(form.lblName->text(), "child");
        form.hide();
        form.lblName->setText("x");
        form.TranslateOnShow = false;
        form.show();
        EXPECT_EQ(form.lblName->text(), "x");
    }
}

TEST(KVForm, BrokenLanguagePackagesAreSkippedAndLogged) {
    Installation ws("950");
    const QString dir = ws.langDir("CHT");
    testsupport::writeFile(dir + "TKVForm.Lng", "<r Caption='kv'><lblName Caption='base'/></r>");
    testsupport::writeFile(dir + "TfrmKvTest.Lng", "<r Caption='test'><lblName Capt");
    testsupport::writeFile(dir + "TfrmKvChild.Lng", "");
    TfrmKvChild form;
    form.show();
    // The broken packages change nothing; the sound one still counts.
    EXPECT_EQ(form.windowTitle(), "kv");
    EXPECT_EQ(form.lblName->text(), "base");
    const QString log = ws.alertLog();
    EXPECT_TRUE(log.contains("The language file " + dir + "TfrmKvTest.Lng is skipped")) << log.toStdString();
    EXPECT_TRUE(log.contains("The language file " + dir + "TfrmKvChild.Lng is skipped")) << log.toStdString();
    // Once per file, however often the form is shown.
    form.hide();
    form.show();
    EXPECT_EQ(ws.alertLog().count("TfrmKvTest.Lng"), 1);
}

// A form whose own show step fails.
class TfrmKvFailing : public TfrmKvTest {
public:
    using TfrmKvTest::TfrmKvTest;

protected:
    void FormShow() override { throw EKvError("The settings file /x/form.cfg cannot be read"); }
};

TEST(KVForm, AFailingEventOfTheFormIsReportedAndTheFormStays) {
    Installation ws("437");
    QStringList boxes;
    SetMessageDlgHook([&boxes](const QString& text, TMsgDlgType type, TMsgDlgButtons) -> std::optional<int> {
        boxes << QString::number(type) + ":" + text;
        return mrOk;
    });
    TfrmKvFailing form;
    form.show();
    SetMessageDlgHook(nullptr);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(boxes, QStringList{QString::number(mtError) + ":The settings file /x/form.cfg cannot be read"});
    EXPECT_TRUE(ws.alertLog().contains("The settings file /x/form.cfg cannot be read"));
}

#include "KVFormTest.moc"
