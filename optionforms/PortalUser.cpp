#include "optionforms/PortalUser.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <dlfcn.h>
#include <pugixml.hpp>

#include "controls/Aligrid.h"
#include "platform/DateTime.h"
#include "support/LibStrs.h"
#include "support/LibXml.h"

namespace {

// The library's export: address, operation, request and result file name in UTF-8, and a buffer of
// 256 bytes for the failure text; answers 1 when the answer file was written.
using TCallWebServiceFx = int (*)(const char*, const char*, const char*, const char*, char*);
constexpr int kErrorBufferSize = 256;

void* openLibrary(const QString& name) {
    // The program's own directory first, then the loader's search path.
    if (QCoreApplication::instance()) {
        const QByteArray local = (QCoreApplication::applicationDirPath() + '/' + name).toLocal8Bit();
        if (void* handle = dlopen(local.constData(), RTLD_NOW | RTLD_LOCAL)) return handle;
    }
    return dlopen(name.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
}

QString attribute(const pugi::xml_node& node, const char* name) {
    return QString::fromUtf8(node.attribute(name).value());
}

} // namespace

QString NormalizeXMLText(const QString& xml) {
    static const QString docType = QStringLiteral("<!DOCTYPE SC[<!ENTITY stdd \"&amp;stdd;\">]>");
    QString text = xml;
    if (!text.startsWith(QLatin1String("<?xml"))) {
        const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?>");
        return head + (text.contains(QLatin1String("<!DOCTYPE")) ? QString() : docType) + text;
    }
    const qsizetype end = text.indexOf(QLatin1String("?>"));
    if (end < 0) return text; // a broken declaration is left for the parser to report
    QString declaration = text.left(end);
    if (!declaration.contains(QLatin1String("encoding"))) {
        declaration += QStringLiteral(" encoding=\"GB2312\"");
        text = declaration + text.mid(end);
    }
    if (!text.contains(QLatin1String("<!DOCTYPE")))
        text.insert(text.indexOf(QLatin1String("?>")) + 2, docType);
    return text;
}

QString CallWebService(const QString& address, const QString& operation, const QString& request,
                       bool* called) {
    if (called) *called = false;
    const QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty() && args.size() > 1 && args.last().toUpper() == QLatin1String("T"))
        KvMessageDlg(QStringLiteral("跟踪测试中断!可在此时设置Dll之Modules。点\"OK\"继续。"), mtInformation,
                     mbOK);
    void* library = openLibrary(QStringLiteral("CallWebService.so"));
    if (!library) return {};
    const auto call = reinterpret_cast<TCallWebServiceFx>(dlsym(library, "CallWebServiceFx"));
    if (!call) {
        dlclose(library);
        return {};
    }
    const QString fileName = GetLongTempPath() + QStringLiteral("~Tarnix_") +
                             kv::formatDateTime(QStringLiteral("yyyymmddhhnnsszzz"), kv::now()) +
                             QStringLiteral(".tmp");
    if (called) *called = true;
    char error[kErrorBufferSize] = {};
    const int ok = call(address.toUtf8().constData(), operation.toUtf8().constData(),
                        request.toUtf8().constData(), fileName.toUtf8().constData(), error);
    dlclose(library);
    QFile file(fileName);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
        file.close();
    }
    file.remove();
    if (!ok) {
        error[kErrorBufferSize - 1] = 0;
        throw EKvError(QString::fromUtf8(error).toStdString());
    }
    bool decoded = true;
    const QByteArray utf8 = kv::xml::toUtf8(bytes, &decoded);
    return QString::fromUtf8(decoded ? utf8 : bytes);
}

namespace kv::portal {

QString language(const QString& systemCodePage) {
    if (systemCodePage == QLatin1String("936")) return QStringLiteral("zh_CN");
    if (systemCodePage == QLatin1String("950")) return QStringLiteral("zh_TW");
    return QStringLiteral("ch_US");
}

QString requestXML(const QString& userId, const QString& companyId, const QString& systemCodePage) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node request = doc.append_child("Request");
    pugi::xml_node access = request.append_child("Access");
    pugi::xml_node auth = access.append_child("Authentication");
    auth.append_attribute("user") = userId.toUtf8().constData();
    auth.append_attribute("password") = "";
    pugi::xml_node connection = access.append_child("Connection");
    connection.append_attribute("application") = "TARNIX";
    connection.append_attribute("source") = "";
    access.append_child("Organization").append_attribute("name") = companyId.toUtf8().constData();
    access.append_child("Locale").append_attribute("language") =
        language(systemCodePage).toUtf8().constData();
    request.append_child("RequestContent");
    std::string out;
    struct Writer : pugi::xml_writer {
        std::string* target;
        void write(const void* data, size_t size) override {
            target->append(static_cast<const char*>(data), size);
        }
    } writer;
    writer.target = &out;
    doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return QString::fromStdString(out);
}

bool parseUsers(const QString& answer, QList<QPair<QString, QString>>& users, QString& description) {
    users.clear();
    description.clear();
    pugi::xml_document doc;
    const QByteArray utf8 = NormalizeXMLText(answer.trimmed()).toUtf8();
    const pugi::xml_parse_result parsed =
        doc.load_buffer(utf8.constData(), size_t(utf8.size()), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) throw EKvError(std::string("The answer is no XML document: ") + parsed.description());
    const pugi::xml_node status = doc.select_node("//Status").node();
    if (!status || attribute(status, "code").trimmed() != QLatin1String("0")) {
        description = status ? attribute(status, "Description") : QStringLiteral("no status in the answer");
        return false;
    }
    for (const pugi::xpath_node& record : doc.select_nodes("//Record")) {
        QString id, name;
        for (const pugi::xml_node& field : record.node().children("Field")) {
            const QString fieldName = attribute(field, "name");
            if (fieldName.compare(QLatin1String("Id"), Qt::CaseInsensitive) == 0)
                id = attribute(field, "value");
            else if (fieldName.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0)
                name = attribute(field, "value");
        }
        users.append({id, name});
    }
    return true;
}

} // namespace kv::portal

TfrmPortalUser::TfrmPortalUser(TKVForm* owner) : TfrmKVDialog(owner) {
    setObjectName("frmPortalUser");
    setWindowTitle(QStringLiteral("Portal 用户信息查询"));
    resize(360, 300);
    grUser = new TStringAlignGrid(this);
    grUser->setObjectName("grUser");
    grUser->SetColCount(2);
    grUser->SetRowCount(2);
    grUser->SetFixedCols(0);
    grUser->SetFixedRows(1);
    grUser->SetEditable(false);
    grUser->setSelectionBehavior(QAbstractItemView::SelectRows);
    grUser->setSelectionMode(QAbstractItemView::SingleSelection);
    grUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grUser->SetCells(0, 0, QStringLiteral("用户编号"));
    grUser->SetCells(1, 0, QStringLiteral("用户名称"));
    grUser->setColumnWidth(0, 120);
    grUser->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(grUser);
    // A double click takes the row.
    connect(grUser, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.row() >= grUser->FixedRows()) setModalResult(mrOk);
    });
}

void TfrmPortalUser::FormShow() {
    TfrmKVDialog::FormShow();
    FCancelled = false;
    FResult.clear();
    // Titles may come from the language file as Cells00 and Cells10.
    for (int col = 0; col < 2; ++col)
        grUser->SetCells(col, 0,
                         LangText(QStringLiteral("TfrmPortalUser"),
                                  QStringLiteral("Cells%1%2").arg(col).arg(0), grUser->Cells(col, 0)));
    if (grUser->RowCount() > 1) grUser->setCurrentCell(1, 0);
}

bool TfrmPortalUser::LoadUsers(const QString& address, const QString& userId, const QString& companyId) {
    SetUsers({});
    if (address.trimmed().isEmpty()) return false;
    QString answer;
    try {
        bool called = false;
        answer = CallWebService(address.trimmed(), QStringLiteral("PORTAL.getAllUser"),
                                kv::portal::requestXML(userId, companyId, GetSystemCodePage()), &called);
        // Without the library the list stays empty without a message; an empty answer of the service
        // is a failure like any other answer that is no XML document.
        if (!called) return false;
        QList<QPair<QString, QString>> users;
        QString description;
        if (!kv::portal::parseUsers(answer, users, description)) {
            KvMessageDlg(QStringLiteral("Call portal webservice error! ") + QLatin1Char('\n') + description,
                         mtError, mbOK);
            return false;
        }
        SetUsers(users);
        return true;
    } catch (const std::exception& e) {
        KvMessageDlg(QStringLiteral("Call portal webservice error! ") + QString::fromUtf8(e.what()) +
                         QLatin1Char('\n') + QStringLiteral("Result:") + answer,
                     mtError, mbOK);
        return false;
    }
}

void TfrmPortalUser::SetUsers(const QList<QPair<QString, QString>>& users) {
    grUser->SetRowCount(1 + std::max<int>(1, int(users.size())));
    for (int row = 1; row < grUser->RowCount(); ++row)
        for (int col = 0; col < 2; ++col)
            grUser->SetCells(col, row, QString());
    for (int i = 0; i < users.size(); ++i) {
        grUser->SetCells(0, i + 1, users.at(i).first);
        grUser->SetCells(1, i + 1, users.at(i).second);
    }
}

int TfrmPortalUser::UserCount() const {
    int count = 0;
    for (int row = 1; row < grUser->RowCount(); ++row)
        if (!grUser->Cells(0, row).trimmed().isEmpty()) ++count;
    return count;
}

bool TfrmPortalUser::FormKeyDown(QKeyEvent* key, QWidget* target) {
    if (key->key() == Qt::Key_Escape) {
        FCancelled = true;
        setModalResult(mrCancel);
        if (isVisible()) close();
        return true;
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
        setModalResult(mrOk);
        return true;
    }
    return TfrmKVDialog::FormKeyDown(key, target);
}

void TfrmPortalUser::closeEvent(QCloseEvent* e) {
    FResult.clear();
    const int row = grUser->currentRow();
    if (!FCancelled && row >= grUser->FixedRows() && row < grUser->RowCount() &&
        !grUser->Cells(0, row).trimmed().isEmpty())
        FResult = QStringList{grUser->Cells(0, row), grUser->Cells(1, row)};
    TfrmKVDialog::closeEvent(e);
}
