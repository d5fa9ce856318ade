// The download library: HTTP and file downloads, unpacking (with archives that try to leave their
// directory), entry lists and the comparison of the server's stamp with the local file.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "host/download/KVDownLoad.h"
#include "host/download/ZipMaker.h"
#include "host/webservice/TestHttpServer.h"

namespace {

using testsupport::readFile;
using testsupport::TestHttpServer;
using testsupport::writeFile;

class DownLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = dlopen((testsupport::binDir() + "/KVDownLoad.so").toLocal8Bit().constData(), RTLD_NOW);
        ASSERT_NE(library, nullptr) << dlerror();
        download = reinterpret_cast<TKVDownLoadFileEx>(dlsym(library, "KVDownLoadFileEx"));
        unzipAll = reinterpret_cast<TUnZipFilesOrDir>(dlsym(library, "UnZipFilesOrDir"));
        unzipList = reinterpret_cast<TUnZipFilesList>(dlsym(library, "UnZipFilesList"));
        fileList = reinterpret_cast<TGetFileList>(dlsym(library, "GetFileList"));
        compare = reinterpret_cast<TCompareFileToDown>(dlsym(library, "CompareFileToDown"));
        compareEx = reinterpret_cast<TCompareFileToDownEx>(dlsym(library, "CompareFileToDownEx"));
        unzipXml = reinterpret_cast<TUnZipFilesXML>(dlsym(library, "UnZipFilesXML"));
        need = reinterpret_cast<TNeedDownLoad>(dlsym(library, "NeedDownLoad"));
        ASSERT_TRUE(download && unzipAll && unzipList && fileList && compare && compareEx && unzipXml &&
                    need);
    }
    void TearDown() override {
        if (library) dlclose(library);
    }
    static QByteArray u(const QString& s) { return s.toUtf8(); }
    bool fetch(const QString& source, const QString& target) {
        char buffer[kDownLoadErrorSize] = {};
        const bool ok = download(u(source).constData(), u(target).constData(), "5", "PELD", buffer) == 1;
        error = QString::fromUtf8(buffer);
        return ok;
    }
    bool unzip(const QString& archive, const QString& target, const QString& names = {}) {
        char buffer[kDownLoadErrorSize] = {};
        const bool ok = names.isEmpty() ? unzipAll(u(archive).constData(), u(target).constData(), buffer) == 1
                                        : unzipList(u(archive).constData(), u(target).constData(),
                                                    u(names).constData(), buffer) == 1;
        error = QString::fromUtf8(buffer);
        return ok;
    }

    void* library = nullptr;
    TKVDownLoadFileEx download = nullptr;
    TUnZipFilesOrDir unzipAll = nullptr;
    TUnZipFilesList unzipList = nullptr;
    TGetFileList fileList = nullptr;
    TCompareFileToDown compare = nullptr;
    TCompareFileToDownEx compareEx = nullptr;
    TUnZipFilesXML unzipXml = nullptr;
    TNeedDownLoad need = nullptr;
    QTemporaryDir dir;
    QString error;
};

} // namespace

TEST_F(DownLoadTest, DownloadsOverHttpAndCopiesFiles) {
    TestHttpServer server;
    const QByteArray payload(200000, 'p');
    server.handler = [&](const TestHttpServer::Request& r) {
        if (r.path == "/pkg/krta07s.so.zip")
            return TestHttpServer::Answer{200, "OK", payload, "application/zip"};
        return TestHttpServer::Answer{404, "Not Found", "no such file"};
    };
    const QString target = dir.filePath("tmp/krta07s.so.zip");
    ASSERT_TRUE(fetch(server.url("/pkg/krta07s.so.zip"), target)) << error.toStdString();
    EXPECT_EQ(readFile(target), payload);
    EXPECT_EQ(server.requests.first().method, "GET");

    EXPECT_FALSE(fetch(server.url("/pkg/other.zip"), dir.filePath("other.zip")));
    EXPECT_TRUE(error.contains("HTTP 404 Not Found")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("other.zip")));

    // A plain path or a file address is copied.
    const QString local = writeFile(dir.filePath("server/pkg.zip"), "local bytes");
    ASSERT_TRUE(fetch(local, dir.filePath("copy1.zip")));
    EXPECT_EQ(readFile(dir.filePath("copy1.zip")), "local bytes");
    ASSERT_TRUE(fetch("file://" + local, dir.filePath("copy2.zip")));
    EXPECT_EQ(readFile(dir.filePath("copy2.zip")), "local bytes");
    EXPECT_FALSE(fetch(dir.filePath("server/missing.zip"), dir.filePath("copy3.zip")));
    EXPECT_TRUE(error.startsWith("Cannot read"));
}

TEST_F(DownLoadTest, UnpacksBelowTheDirectoryAndReplacesFiles) {
    const QString archive = dir.filePath("new.zip");
    ASSERT_TRUE(testsupport::makeZip(archive,
                                     {{"KRTA07S.so", "new library"},
                                      {"lang/", {}},
                                      {"lang/ENG/TfrmNotify.Lng", "<TfrmNotify/>"},
                                      {"run.sh", "#!/bin/sh\n"}},
                                     {"run.sh"}));
    const QString target = dir.filePath("install");
    writeFile(target + "/KRTA07S.so", "old library, longer than the new one");
    ASSERT_TRUE(unzip(archive, target)) << error.toStdString();
    EXPECT_EQ(readFile(target + "/KRTA07S.so"), "new library");
    EXPECT_EQ(readFile(target + "/lang/ENG/TfrmNotify.Lng"), "<TfrmNotify/>");
    EXPECT_TRUE(QFileInfo(target + "/run.sh").isExecutable());
    EXPECT_FALSE(QFileInfo(target + "/KRTA07S.so").isExecutable());

    // Only the named entries; a name the archive lacks fails.
    const QString some = dir.filePath("some");
    ASSERT_TRUE(unzip(archive, some, "run.sh;lang/ENG/TfrmNotify.Lng")) << error.toStdString();
    EXPECT_TRUE(QFile::exists(some + "/run.sh"));
    EXPECT_FALSE(QFile::exists(some + "/KRTA07S.so"));
    EXPECT_FALSE(unzip(archive, some, "run.sh\nnothing.txt"));
    EXPECT_TRUE(error.contains("has no entry nothing.txt")) << error.toStdString();

    char list[256];
    char buffer[kDownLoadErrorSize];
    ASSERT_EQ(fileList(u(archive).constData(), list, sizeof list, buffer), 1);
    EXPECT_EQ(QString::fromUtf8(list), "KRTA07S.so\nlang/\nlang/ENG/TfrmNotify.Lng\nrun.sh\n");
    EXPECT_EQ(fileList(u(archive).constData(), list, 10, buffer), 0);

    EXPECT_FALSE(unzip(dir.filePath("nothing.zip"), target));
    EXPECT_TRUE(error.startsWith("Cannot open the archive"));
    writeFile(dir.filePath("broken.zip"), "this is no zip archive");
    EXPECT_FALSE(unzip(dir.filePath("broken.zip"), target));
}

TEST_F(DownLoadTest, RefusesEntriesThatLeaveTheDirectory) {
    const QString target = dir.filePath("install");
    for (const QString& evil : {QString("../escaped.txt"), QString("lang/../../escaped.txt"),
                                QString("/tmp/escaped_by_absolute_path.txt"), QString("..\\escaped.txt")}) {
        const QString archive = dir.filePath("evil.zip");
        ASSERT_TRUE(testsupport::makeZip(archive, {{"good.txt", "good"}, {evil, "evil"}}));
        EXPECT_FALSE(unzip(archive, target)) << evil.toStdString();
        EXPECT_TRUE(error.contains("leaves the directory")) << error.toStdString();
        // Nothing is written, not even the entries before the bad one.
        EXPECT_FALSE(QFile::exists(target + "/good.txt"));
        EXPECT_FALSE(QFile::exists(dir.filePath("escaped.txt")));
    }
    EXPECT_FALSE(QFile::exists("/tmp/escaped_by_absolute_path.txt"));
}

TEST_F(DownLoadTest, RefusesArchivesThatUnpackTooLargeAndWritesNothing) {
    const QString target = dir.filePath("install");
    writeFile(target + "/KRTA07S.so", "old library");
    const auto untouched = [&] {
        EXPECT_EQ(readFile(target + "/KRTA07S.so"), "old library");
        EXPECT_EQ(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{"KRTA07S.so"});
    };

    // 64 MiB of zeros pack into a few dozen KiB: refused from the header, before a byte is written.
    const QString bomb = dir.filePath("bomb.zip");
    ASSERT_TRUE(testsupport::makeZip(bomb, {{"KRTA07S.so", "new"}, {"zeros.bin", QByteArray(64 << 20, 0)}}));
    ASSERT_LT(QFileInfo(bomb).size(), 1 << 20);
    EXPECT_FALSE(unzip(bomb, target));
    EXPECT_TRUE(error.contains("zeros.bin") && error.contains("100 times")) << error.toStdString();
    untouched();

    // Entries that pack normally but add up to more than the allowed total.
    QByteArray noise(700 << 10, 0);
    quint32 x = 12345;
    for (char& c : noise)
        c = char((x = x * 1103515245u + 12345u) >> 24);
    const QString big = dir.filePath("big.zip");
    ASSERT_TRUE(testsupport::makeZip(big, {{"KRTA07S.so", "new"}, {"a.bin", noise}, {"b.bin", noise}}));
    qputenv("TARNIX_UNZIP_MAX_MB", "1");
    EXPECT_FALSE(unzip(big, target));
    qunsetenv("TARNIX_UNZIP_MAX_MB");
    EXPECT_TRUE(error.contains("more than 1 MiB")) << error.toStdString();
    untouched();
    ASSERT_TRUE(unzip(big, target)) << error.toStdString();
    EXPECT_EQ(readFile(target + "/b.bin"), noise);
}

TEST_F(DownLoadTest, AnEntryThatFailsLeavesTheDirectoryAsItWas) {
    const QString archive = dir.filePath("damaged.zip");
    const QByteArray second(4096, 'b');
    ASSERT_TRUE(testsupport::makeZip(archive, {{"KRTA07S.so", "new library"}, {"lang/b.txt", second}}));
    // Spoil the second entry's packed data; its header still reads well, so only unpacking finds it.
    QByteArray bytes = readFile(archive);
    const qsizetype header = bytes.indexOf("lang/b.txt");
    ASSERT_GT(header, 0);
    for (qsizetype i = header + 12; i < header + 40; ++i)
        bytes[i] = char(~bytes[i]);
    writeFile(archive, bytes);

    const QString target = dir.filePath("install");
    writeFile(target + "/KRTA07S.so", "old library");
    EXPECT_FALSE(unzip(archive, target));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(target + "/KRTA07S.so"), "old library");
    EXPECT_EQ(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"KRTA07S.so"});
}

TEST_F(DownLoadTest, ComparesTheServerStampWithTheLocalFile) {
    const QString file = writeFile(dir.filePath("KRTA07S.so"), "x");
    const QDateTime when = QDateTime::currentDateTime().addSecs(-3600);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    f.close();
    const auto newer = [&](const QString& stamp, const QString& local) {
        return compare(u(stamp).constData(), u(local).constData()) == 1;
    };
    EXPECT_TRUE(newer(when.addSecs(60).toString("yyyyMMddhhmmss"), file));
    EXPECT_TRUE(newer(when.addSecs(60).toString("yyyy-MM-dd hh:mm:ss"), file));
    EXPECT_TRUE(newer(when.addSecs(60).toString("yyyy/MM/dd hh:mm:ss"), file));
    EXPECT_FALSE(newer(when.toString("yyyyMMddhhmmss"), file));
    EXPECT_FALSE(newer(when.addSecs(-60).toString("yyyy-MM-dd hh:mm:ss"), file));
    EXPECT_TRUE(newer(when.toString("yyyyMMddhhmmss"), dir.filePath("missing.so")));
    EXPECT_FALSE(newer("not a stamp", file));
    EXPECT_FALSE(newer("not a stamp", dir.filePath("missing.so")));
}

TEST_F(DownLoadTest, EntriesNamedInXmlAndTheSizeOfTheLocalFile) {
    const QString archive = dir.filePath("new.zip");
    ASSERT_TRUE(testsupport::makeZip(archive, {{"a.txt", "A"}, {"sub/b.txt", "B"}, {"c.txt", "C"}}));
    char buffer[kDownLoadErrorSize] = {};
    const QString target = dir.filePath("xml");
    ASSERT_EQ(unzipXml(u(archive).constData(), u(target).constData(),
                       "<Files><File Name='a.txt'/><Dir><File Name='sub/b.txt'/></Dir><File/></Files>",
                       buffer),
              1)
        << buffer;
    EXPECT_EQ(readFile(target + "/a.txt"), "A");
    EXPECT_EQ(readFile(target + "/sub/b.txt"), "B");
    EXPECT_FALSE(QFile::exists(target + "/c.txt"));
    EXPECT_EQ(unzipXml(u(archive).constData(), u(target).constData(), "<Files>", buffer), 0);
    EXPECT_EQ(unzipXml(u(archive).constData(), u(target).constData(), "<Files/>", buffer), 0);

    const QString file = writeFile(dir.filePath("KRTA07S.so"), "12345");
    const QByteArray old = QDateTime::currentDateTime().addDays(1).toString("yyyyMMddhhmmss").toUtf8();
    const QByteArray past = QDateTime::currentDateTime().addDays(-1).toString("yyyyMMddhhmmss").toUtf8();
    EXPECT_EQ(compareEx(old.constData(), u(file).constData(), 5), 1); // newer stamp
    EXPECT_EQ(compareEx(past.constData(), u(file).constData(), 5), 0);
    EXPECT_EQ(compareEx(past.constData(), u(file).constData(), 6), 1); // same time, another file
    EXPECT_EQ(compareEx(past.constData(), u(file).constData(), -1), 0);
}

TEST_F(DownLoadTest, NeedDownLoadAsksTheServerForTheTimeOfTheFile) {
    const QString file = writeFile(dir.filePath("KRTA07S.so"), "x");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QByteArray lastModified;
    TestHttpServer server;
    server.handler = [&](const TestHttpServer::Request& r) {
        TestHttpServer::Answer a{200, "OK", "body"};
        if (r.path == "/missing") a = {404, "Not Found", {}};
        if (!lastModified.isEmpty()) a.headers = "Last-Modified: " + lastModified + "\r\n";
        return a;
    };
    char buffer[kDownLoadErrorSize] = {};
    const auto ask = [&](const QString& source, const QString& local) {
        return need(u(source).constData(), u(local).constData(), "5", buffer);
    };
    const auto httpDate = [](const QDateTime& t) {
        return QLocale::c().toString(t.toUTC(), "ddd, dd MMM yyyy hh:mm:ss").toLatin1() + " GMT";
    };
    lastModified = httpDate(now.addDays(1));
    EXPECT_EQ(ask(server.url("/pkg/krta07s.so.zip"), file), 1);
    EXPECT_EQ(server.requests.last().method, "HEAD");
    lastModified = httpDate(now.addDays(-1));
    EXPECT_EQ(ask(server.url("/pkg/krta07s.so.zip"), file), 0);
    EXPECT_EQ(ask(server.url("/pkg/krta07s.so.zip"), dir.filePath("missing.so")), 1);
    EXPECT_EQ(ask(server.url("/missing"), file), -1);
    EXPECT_TRUE(QString::fromUtf8(buffer).contains("HTTP 404"));
    lastModified.clear();
    EXPECT_EQ(ask(server.url("/pkg/krta07s.so.zip"), file), -1);
    EXPECT_TRUE(QString::fromUtf8(buffer).contains("does not tell the time"));

    // A file source: its modification time.
    const QString source = writeFile(dir.filePath("server/krta07s.so.zip"), "zip");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    f.close();
    EXPECT_EQ(ask(source, file), 1);
    EXPECT_EQ(ask(file, source), 0);
    EXPECT_EQ(ask(dir.filePath("server/none.zip"), file), -1);
}
