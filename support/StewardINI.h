#pragma once
// The launcher's settings: installation paths in the registry key "Software\KVR\Steward" of the
// local machine (values ClientPath, ServerPath, ProfileType) and the settings files "StewardC.ini"
// (client) and "StewardS.ini" (server). A settings object reads everything in its constructor and is
// then a read-only record; it never raises for missing settings but sets ErrorCode:
//   "E;000015"  the registry key cannot be opened (every field keeps its default);
//   "E;000016"  the client's server list is empty.
// A missing settings file gives every key its default.
//
// Paths join with "/". Installation and profile paths end with "/". Backslashes in path values
// written for the original platform become "/". A WorkDLLPath value that is absolute ("/opt/pkg",
// or one with a drive letter) stays as it is; one starting with "\" names a folder below the
// installation path, as does any other relative value. Each entry ends with "/".
#include <QString>
#include <QStringList>
#include <exception>

#include "platform/IniFile.h"
#include "platform/ole/Variant.h"

// Fields shared by the client and the server settings.
class TStewardIniBase {
public:
    QString InstallPath;
    QString ProfilePath;
    QString ProfileType = QStringLiteral("0");
    QString ProfileName = QStringLiteral("Default");
    QString UICodePage;
    QString DBCodePage = QStringLiteral("936");
    QString SystemCodePage;
    int UIChangeType = 0;   // 2 GB to BIG5, 4 GB font only, 0 none
    int DataChangeType = 0; // 2 GB to BIG5, 1 BIG5 to GB, 0 none
    bool SupportCallBack = false;
    QString IniFileName;
    QString ErrorCode; // empty when all went well
    QStringList WorkDLLPaths;
    QString ProductVersion;

protected:
    TStewardIniBase() = default;
    // Steps common to both: code pages, registry, profile, settings file. False when the registry
    // key is missing (ErrorCode is then set and nothing else is read).
    bool readCommon(const char* pathValue, const char* iniName, kv::IniFile& ini);
    void computeChangeTypes();
    void readWorkDLLPaths(const QList<QPair<QString, QString>>& values, const QString& defaultFolder);
};

class TStewardIniC : public TStewardIniBase {
public:
    TStewardIniC();

    // [0, i] server name, [1, i] port, for servers i = 0..n-1; empty when there is no server.
    kv::Variant ServerList;
    QString LangType = QStringLiteral("ENG");
    QString CreateGifBeforeSendEF = QStringLiteral("Y");
    QString AutoCheckNewMsg = QStringLiteral("1");
    QString CheckInterval = QStringLiteral("1");
    QString PopupMsg = QStringLiteral("1");
    QString LoginCheck = QStringLiteral("0");
};

class TStewardIniS : public TStewardIniBase {
public:
    TStewardIniS();

    // [0..3, 0..7]: rows main database, temporary database, password service, exchange database;
    // empty when the registry key is missing.
    kv::Variant DBSettings;
    int DBKind = 0; // 0 SQL Server, 1 Oracle, 2 DB2
    QString SystemControlAddress;
    QString OtherSystemControlAddress;

    // OLE DB connection string of the main database.
    QString GetConnectString() const;
    // Why these settings name no main database to connect to (no launcher key, no settings file, no
    // server), with the file to mend; empty when they name one.
    QString DatabaseSettingsProblem() const;
    void GetDLLPath(QStringList& list) const { list = WorkDLLPaths; }
    QString GetMainServerName() const;

private:
    QString setting(int row, int column) const;
};

// Scrambling of the database passwords in "StewardS.ini": two lower-case hexadecimal digits per byte
// of the text in the system code page, byte i (from 1) rotated right by i mod 8 bits.
QString EncodePassword(const QString& password);
// "KV_Say_Password_Error" (and an alert line) when the text is not such a scramble.
QString DecodePassword(const QString& scrambled);

// Appends "[date time] text" to <install>/Log/Alert_VADUREvuriveve_<YYYYMMDD>.log; the directory is
// the launcher's client path, else its server path, else the system temporary directory.
bool WriteAlertLog(const QString& text);
// Writes the lines that record an exception: a heading with the location, the error lines,
// their count and the caller's message.
void WriteExceptionLog(const QString& location, const std::exception& error,
                       const QString& programmerMessage);
