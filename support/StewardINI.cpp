#include "support/StewardINI.h"

#include <QDir>
#include <QFileInfo>
#include <cxxabi.h>
#include <ios>
#include <memory>
#include <pwd.h>
#include <system_error>
#include <typeinfo>
#include <unistd.h>

#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/RegistryFile.h"
#include "support/AlertFile.h"

namespace {

const char* const kEmptyPasswordMarker = "KV_Say_NoPassWord_ThePassWordIsEmpty";
const char* const kPasswordError = "KV_Say_Password_Error";
const char* const kNeverHasPassword = "KV_Say_Never_Has_Password";

QString loginUserName() {
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty()) {
        if (const passwd* pw = getpwuid(getuid())) name = QString::fromLocal8Bit(pw->pw_name);
    }
    // The name becomes a folder of the profile path: never let it climb out of it.
    name.remove(QLatin1Char('/'));
    name.remove(QLatin1Char('\\'));
    if (name == QLatin1String("..") || name == QLatin1String(".")) name.clear();
    return name.left(32);
}

bool isYes(const QString& text) {
    const QString t = text.trimmed().toUpper();
    return t == QLatin1String("1") || t == QLatin1String("Y") || t == QLatin1String("YES") ||
           t == QLatin1String("TRUE");
}

bool isAbsolutePath(const QString& path) {
    return path.startsWith(QLatin1Char('/')) ||
           (path.size() >= 2 && path[1] == QLatin1Char(':') && path[0].isLetter());
}

unsigned char rotateRight(unsigned char b, int n) {
    n %= 8;
    return static_cast<unsigned char>((b >> n) | (b << ((8 - n) % 8)));
}

unsigned char rotateLeft(unsigned char b, int n) {
    n %= 8;
    return static_cast<unsigned char>((b << n) | (b >> ((8 - n) % 8)));
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

QString scramble(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size() * 2);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out += QString::asprintf(
            "%02x", rotateRight(static_cast<unsigned char>(bytes[i]), static_cast<int>((i + 1) % 8)));
    return out;
}

QString className(const std::exception& e) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(
        abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status), std::free);
    return QString::fromUtf8(status == 0 && name ? name.get() : typeid(e).name());
}

// Reads an INI value keeping a default for a missing or blank key.
QString readText(const kv::IniFile& ini, const char* section, const char* key, const QString& defaultValue) {
    return ini.readString(QLatin1String(section), QLatin1String(key), defaultValue);
}

} // namespace

// Settings common to both ------------------------------------------------------------------------

void TStewardIniBase::computeChangeTypes() {
    if (UICodePage == QLatin1String("950"))
        UIChangeType = 2;
    else if (UICodePage == QLatin1String("936") && SystemCodePage == QLatin1String("950"))
        UIChangeType = 4;
    else
        UIChangeType = 0;
    if (UICodePage == QLatin1String("950") && DBCodePage == QLatin1String("936"))
        DataChangeType = 2;
    else if (UICodePage == QLatin1String("936") && DBCodePage == QLatin1String("950"))
        DataChangeType = 1;
    else
        DataChangeType = 0;
}

bool TStewardIniBase::readCommon(const char* pathValue, const char* iniName, kv::IniFile& ini) {
    const int acp = kv::codepage::systemCodePage();
    SystemCodePage =
        acp == kv::codepage::GBK || acp == kv::codepage::BIG5 ? QString::number(acp) : QStringLiteral("437");
    UICodePage = SystemCodePage;
    DBCodePage = QStringLiteral("936");
    computeChangeTypes();

    const auto key = kv::RegistryKey::openReadOnly(kv::HKEY_LOCAL_MACHINE, kv::alertfile::kStewardKey);
    if (!key) {
        ErrorCode = QStringLiteral("E;000015");
        return false;
    }
    InstallPath = kv::alertfile::normalizeDir(key->readString(QLatin1String(pathValue)));
    const QString profileType = key->readString(QStringLiteral("ProfileType")).trimmed();
    ProfilePath = InstallPath;
    if (!profileType.isEmpty() && profileType != QLatin1String("0")) {
        ProfileType = profileType;
        const QString user = loginUserName();
        if (!user.isEmpty()) {
            ProfileName = user;
            ProfilePath = InstallPath + QStringLiteral("Profile/") + user + QLatin1Char('/');
        }
    }
    IniFileName = ProfilePath + QLatin1String(iniName);
    if (!QFileInfo::exists(IniFileName)) IniFileName = InstallPath + QLatin1String(iniName);
    ini = kv::IniFile(IniFileName);

    ProductVersion = readText(ini, "ProductVersion", "Version", {});
    UICodePage = readText(ini, "CodePage", "UICodePage", SystemCodePage).trimmed();
    DBCodePage = readText(ini, "CodePage", "DBCodePage", QStringLiteral("936")).trimmed();
    computeChangeTypes();
    return true;
}

void TStewardIniBase::readWorkDLLPaths(const QList<QPair<QString, QString>>& values,
                                       const QString& defaultFolder) {
    WorkDLLPaths.clear();
    for (const auto& entry : values) {
        QString path = entry.second.trimmed();
        if (path.startsWith(QLatin1Char('\\'))) {
            path = InstallPath + path.mid(1);
        } else {
            path.replace(QLatin1Char('\\'), QLatin1Char('/'));
            if (!isAbsolutePath(path)) path = InstallPath + path;
        }
        WorkDLLPaths << kv::alertfile::normalizeDir(path);
    }
    if (WorkDLLPaths.isEmpty()) WorkDLLPaths << InstallPath + defaultFolder;
}

// Client -----------------------------------------------------------------------------------------

TStewardIniC::TStewardIniC() {
    kv::IniFile ini;
    if (!readCommon("ClientPath", "StewardC.ini", ini)) return;
    LangType = readText(ini, "Client Components", "LangType", QStringLiteral("ENG"));
    CreateGifBeforeSendEF = readText(ini, "UserDefine", "CreateGifBeforeSendEF", QStringLiteral("Y"));
    SupportCallBack = isYes(readText(ini, "Server Information", "SupportCallBack", QStringLiteral("0")));
    AutoCheckNewMsg = readText(ini, "TaskMessageCenter Setting", "AutoCheckNewMsg", QStringLiteral("1"));
    CheckInterval = readText(ini, "TaskMessageCenter Setting", "CheckInterval", QStringLiteral("1"));
    PopupMsg = readText(ini, "TaskMessageCenter Setting", "PopupMsg", QStringLiteral("1"));
    LoginCheck = readText(ini, "TaskMessageCenter Setting", "LoginCheck", QStringLiteral("0"));

    QString servers =
        readText(ini, "Server Information", "ComputerName", QStringLiteral("127.0.0.1")).trimmed();
    if (servers.endsWith(QLatin1Char(';'))) servers.chop(1);
    const int port = ini.readInteger(QStringLiteral("Server Information"), QStringLiteral("ServerPort"), 211);
    // Every name between separators is a server, an empty one too: positions in the list count.
    const QStringList names = servers.isEmpty() ? QStringList() : servers.split(QLatin1Char(';'));
    if (names.isEmpty()) {
        ErrorCode = QStringLiteral("E;000016");
    } else {
        ServerList = kv::Variant::array2(0, 1, 0, static_cast<int>(names.size()) - 1);
        for (int i = 0; i < names.size(); ++i) {
            ServerList.set(0, i, names[i]);
            ServerList.set(1, i, port);
        }
    }
    readWorkDLLPaths(ini.sectionValues(QStringLiteral("WorkDLLPath")), QStringLiteral("C_PKG/"));
}

// Server -----------------------------------------------------------------------------------------

TStewardIniS::TStewardIniS() {
    kv::IniFile ini;
    if (!readCommon("ServerPath", "StewardS.ini", ini)) return;
    const char* dbe = "DBE Setting";
    DBSettings = kv::Variant::array2(0, 3, 0, 7);
    auto put = [this](int row, int column, const kv::Variant& value) { DBSettings.set(row, column, value); };
    put(0, 0, readText(ini, dbe, "MainAlias", QStringLiteral("Vantor")));
    put(0, 1, readText(ini, dbe, "MainUserName", QStringLiteral("sa")));
    put(0, 2, DecodePassword(readText(ini, dbe, "XXXXXX", {})));
    put(0, 3, readText(ini, dbe, "MainDBType", QStringLiteral("MSSQL")));
    put(0, 4, readText(ini, dbe, "MainDBName", {}));
    put(0, 5, readText(ini, dbe, "MainServerName", {}));
    put(0, 6, readText(ini, dbe, "MainConnectionTimeOut", QStringLiteral("300")));
    put(0, 7, readText(ini, dbe, "MainCommandTimeOut", QStringLiteral("3000")));
    put(1, 0, readText(ini, dbe, "TempAlias", QStringLiteral("VantorTemp")));
    put(1, 1, readText(ini, dbe, "TempUserName", QStringLiteral("sa")));
    put(1, 2, DecodePassword(readText(ini, dbe, "TempPassword", {})));
    put(1, 3, readText(ini, dbe, "TempDBType", QStringLiteral("PARADOX")));
    put(1, 4, readText(ini, dbe, "TempDBName", {}));
    put(1, 5, readText(ini, dbe, "TempDriverName", QStringLiteral("PostgreSQL")));
    put(1, 6, readText(ini, dbe, "TempConnectionTimeOut", QStringLiteral("300")));
    put(1, 7, readText(ini, dbe, "TempCommandTimeOut", QStringLiteral("3000")));
    put(2, 0, readText(ini, "DBPasswordCtrl", "ComputerName", {}).trimmed());
    put(2, 1, ini.readInteger(QStringLiteral("DBPasswordCtrl"), QStringLiteral("ServerPort"), 211));
    put(2, 2, ini.readInteger(QStringLiteral("DBPasswordCtrl"), QStringLiteral("ClientSocketPort"), 1024));
    put(2, 3, readText(ini, dbe, "DataBaseCodeOrder", QStringLiteral("Chinese_Taiwan_Stroke_BIN")));
    put(3, 0, readText(ini, dbe, "EctAlias", QStringLiteral("EDIDATA")));
    put(3, 1, readText(ini, dbe, "EctUserName", QStringLiteral("sa")));
    put(3, 2, readText(ini, dbe, "EctPassword", {}));
    for (int row = 2; row <= 3; ++row)
        for (int column = row == 2 ? 4 : 3; column <= 7; ++column)
            put(row, column, QString());
    SupportCallBack = isYes(readText(ini, "DBPasswordCtrl", "SupportCallBack", QStringLiteral("0")));

    const QString mainServer = GetMainServerName();
    SystemControlAddress = readText(ini, dbe, "SystemControlAddress", {}).trimmed();
    if (SystemControlAddress.isEmpty()) SystemControlAddress = mainServer;
    OtherSystemControlAddress = readText(ini, dbe, "OtherSystemControlAddress", {}).trimmed();
    if (OtherSystemControlAddress.isEmpty()) OtherSystemControlAddress = mainServer;

    const QString dbType = setting(0, 3).trimmed().toUpper();
    DBKind = dbType == QLatin1String("ORACLE") ? 1 : dbType == QLatin1String("DB2") ? 2 : 0;
    readWorkDLLPaths(ini.sectionValues(QStringLiteral("WorkDLLPath")), QStringLiteral("S_PKG/"));
}

QString TStewardIniS::setting(int row, int column) const {
    if (!DBSettings.isArray()) return {};
    return kv::varToStr(DBSettings.at(row, column));
}

QString TStewardIniS::GetMainServerName() const {
    return setting(0, 5);
}

QString TStewardIniS::DatabaseSettingsProblem() const {
    if (!ErrorCode.isEmpty())
        return QStringLiteral("The launcher settings (key Software\\KVR\\Steward in %1) are missing")
            .arg(QDir::toNativeSeparators(kv::registryFileName()));
    if (const QFileInfo ini(IniFileName); !ini.isFile())
        return QStringLiteral("The server settings file %1 %2 (ServerPath in %3)")
            .arg(QDir::toNativeSeparators(IniFileName),
                 ini.isDir() ? QStringLiteral("is a folder") : QStringLiteral("does not exist"),
                 QDir::toNativeSeparators(kv::registryFileName()));
    if (GetMainServerName().trimmed().isEmpty())
        return QStringLiteral("The server settings file %1 names no database server ([DBE Setting] "
                              "MainServerName)")
            .arg(QDir::toNativeSeparators(IniFileName));
    return {};
}

QString TStewardIniS::GetConnectString() const {
    // A value holding ";" or a quote would end its item early: quote it the way connection strings do.
    auto value = [](const QString& v) {
        if (!v.contains(QLatin1Char(';')) && !v.contains(QLatin1Char('"')) &&
            !v.contains(QLatin1Char('\'')) && v == v.trimmed())
            return v;
        QString quoted = v;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    };
    return QStringLiteral(
               "Provider=SQLOLEDB.1;Password=%1;Persist Security Info=True;User ID=%2;Initial Catalog=%3;"
               "Data Source=%4;Auto Translate=False;Connect Timeout=%5;"
               "Extended Properties=\"Command Timeout=%6\"")
        .arg(value(setting(0, 2)), value(setting(0, 1)), value(setting(0, 4)), value(GetMainServerName()),
             value(setting(0, 6)), value(setting(0, 7)));
}

// Passwords --------------------------------------------------------------------------------------

QString EncodePassword(const QString& password) {
    const QString text = password.isEmpty() ? QString::fromLatin1(kEmptyPasswordMarker) : password;
    const QString result = scramble(kv::codepage::encode(text, kv::codepage::systemCodePage()));
    return result.isEmpty() ? QString::fromLatin1(kNeverHasPassword) : result;
}

QString DecodePassword(const QString& scrambled) {
    QByteArray bytes;
    bytes.reserve(scrambled.size() / 2 + 1);
    int pair = 1;
    for (qsizetype i = 0; i < scrambled.size(); i += 2, ++pair) {
        const int high = hexDigit(scrambled[i]);
        const int low = i + 1 < scrambled.size() ? hexDigit(scrambled[i + 1]) : 0;
        if (high < 0 || low < 0) {
            // The scrambled text itself is a secret too: the message names the place, not the digits.
            WriteExceptionLog(
                {}, EKvError(QStringLiteral("Scrambled password: pair %1 is not hexadecimal").arg(pair)),
                QString::fromUtf8("解析 Sa 时发生错误!"));
            return QString::fromLatin1(kPasswordError);
        }
        // A last single digit reads as a one-digit number, as the original's conversion did.
        const int value = i + 1 < scrambled.size() ? high * 16 + low : high;
        bytes += static_cast<char>(rotateLeft(static_cast<unsigned char>(value), pair % 8));
    }
    const QString text = kv::codepage::decode(bytes, kv::codepage::systemCodePage());
    return text == QLatin1String(kEmptyPasswordMarker) ? QString() : text;
}

// Logs -------------------------------------------------------------------------------------------

bool WriteAlertLog(const QString& text) {
    QString dir;
    try {
        dir = kv::alertfile::launcherDirectory();
    } catch (const std::exception&) {
        dir.clear();
    }
    if (dir.isEmpty()) dir = QDir::tempPath();
    const kv::TDateTime now = kv::now();
    return kv::alertfile::appendLine(dir,
                                     QStringLiteral("Alert_VADUREvuriveve_") +
                                         kv::formatDateTime(QStringLiteral("yyyymmdd"), now) + ".log",
                                     kv::formatDateTime(QStringLiteral("yyyy/mm/dd hh:nn:ss"), now), text);
}

void WriteExceptionLog(const QString& location, const std::exception& error,
                       const QString& programmerMessage) {
    const QString dashes = QStringLiteral("----------------------------------");
    const QString where = location.trimmed();
    WriteAlertLog(where.isEmpty() ? dashes + QLatin1Char(' ') + dashes
                                  : dashes + QLatin1Char(' ') + where + QStringLiteral(" on ") + dashes);
    WriteAlertLog(QString::fromUtf8("讯息信息:"));
    const QString message = QString::fromUtf8(error.what());
    if (const auto* io = dynamic_cast<const std::ios_base::failure*>(&error)) {
        WriteAlertLog(
            QString::asprintf("EInOutError Error %.2d: Code: %d, Message: ", 1, io->code().value()) +
            message);
    } else if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        WriteAlertLog(
            QString::asprintf("EWin32Error Error %.2d: Code: %d, Message: ", 1, system->code().value()) +
            message);
    } else {
        WriteAlertLog(QStringLiteral("Exception is ") + className(error) +
                      QString::asprintf("\nMessage %.2d: ", 1) + message);
    }
    WriteAlertLog(QString::asprintf("ErrorMessage Count: %d", 1));
    if (!programmerMessage.trimmed().isEmpty())
        WriteAlertLog(QStringLiteral("Programer Message: ") + programmerMessage);
}
