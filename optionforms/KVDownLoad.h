#pragma once
// TKVDownLoad: keeps a program's server library on the workstation current. When the machine's
// upgrader is enabled and the server holds a newer file, the file is downloaded as a zip archive and
// unpacked over the local copy through the download library "KVDownLoad". Failures go to a daily
// alert log beside the program.
#include <QString>

class TKVDownLoad {
public:
    // Loads the library and looks up its entry points; a missing library or entry leaves it empty.
    TKVDownLoad();
    ~TKVDownLoad();
    TKVDownLoad(const TKVDownLoad&) = delete;
    TKVDownLoad& operator=(const TKVDownLoad&) = delete;

    bool Loaded() const { return FHandle != nullptr; }

    // True when the file on the server (its stamp) is newer than the local file. EKvError when the
    // library lacks the entry.
    bool CheckNewer(const QString& stamp, const QString& localFile);
    // Downloads Source into Target; false with the library's text. EKvError when the entry is missing.
    bool DownloadFile(const QString& source, const QString& target, const QString& timeout,
                      const QString& registryWord, QString& failure);
    // Unpacks an archive into a directory; false with the library's text. EKvError when the entry is missing.
    bool UnzipFiles(const QString& archive, const QString& targetDir, QString& failure);

    // Makes LocalFile current from the server file that FileInfo (the host's file information) describes.
    // True when nothing had to be done or the new file is in place; false with ErrorText, which is also
    // written to the alert log. Interactive asks whether to retry a failed step.
    static bool RefreshFile(const QString& fileInfo, const QString& localFile, bool interactive,
                            QString& errorText);
    // Appends "[time] Message" to <program dir>/Log/Alert_<Name>_<stamp>.log; the stamp by period "D"
    // (YYYYMMDD, also for unknown letters), "M" (YYYYMM) or "Y" (YYYY); no ".log" when Name holds a point.
    static bool AlertLog(const QString& name, const QString& message, const QString& period);
    // The upgrader's switch: value "GoAhead" of the local machine's key kUpgraderKey is "1".
    static bool UpgraderEnabled();
    // The modification stamp and the server directory of the host's file information.
    static void ParseFileInfo(const QString& fileInfo, QString& stamp, QString& serverDir);
    // A file on a network path cannot be replaced from here.
    static bool IsNetworkPath(const QString& fileName);

    static constexpr const char* kUpgraderKey = "Software\\PELD\\Upgrader";

    // Entry points in the library's order; only the first three are called.
    void* KVDownLoadFileEx = nullptr;
    void* UnZipFilesOrDir = nullptr;
    void* CompareFileToDown = nullptr;
    void* CompareFileToDownEx = nullptr;
    void* NeedDownLoad = nullptr;
    void* UnZipFilesList = nullptr;
    void* UnZipFilesXML = nullptr;
    void* GetFileList = nullptr;

private:
    void* FHandle = nullptr;
};
