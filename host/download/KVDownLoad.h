#pragma once
// The download library's exports. Texts are UTF-8; results are 1 (true) or 0 (false); error texts go
// into caller buffers of kDownLoadErrorSize bytes, always terminated.
//
// KVDownLoadFileEx (source, target, timeout, registry word, error)
//     Copies source to target: an http or https address is downloaded (an HTTP error status is a
//     failure), a file address or a plain path is copied. timeout is a number of seconds as text
//     (default 60). The registry word names the upgrader's key "Software\<word>\Upgrader" of the local
//     machine, whose value "Proxy" (host:port), when set, is the HTTP proxy. The target is written
//     aside as the data comes in and renamed into place.
// UnZipFilesOrDir (archive, target directory, error)
//     Unpacks every entry of a zip archive below the directory, replacing existing files. An archive
//     with an entry whose path is absolute or leaves the directory is refused before anything is
//     written, and so is one that unpacks to more than 1 GiB in all (TARNIX_UNZIP_MAX_MB sets it), or with an entry of over 1 MiB
//     that unpacks to more than 100 times its packed size. Entries are streamed into a staging
//     folder inside the directory and moved into place only when every one of them unpacked, so a
//     failure leaves the directory as it was.
// UnZipFilesList (archive, target directory, names, error)
//     The same for the entries named in names (separated by ";" or line breaks); a name the archive
//     lacks is a failure.
// GetFileList (archive, buffer, size, error)
//     The entry names of the archive, one per line, into buffer (size bytes); false when they do not fit.
// UnZipFilesXML (archive, target directory, xml, error)
//     The same for the entries named by the attribute "Name" of the elements File of an XML text.
// NeedDownLoad (source, local file, timeout, error)
//     1 when the local file is missing or older than the source (the "Last-Modified" of an http or
//     https address, asked with HEAD; the modification time of a file), 0 when it is current, -1 on a
//     failure, with the reason in error.
// CompareFileToDownEx (stamp, local file, size)
//     CompareFileToDown, and also true when size is not negative and differs from the local file's size.
// CompareFileToDown (stamp, local file)
//     True when the local file is missing or older than the stamp: "yyyyMMddhhmmss", "yyyy-MM-dd hh:mm:ss",
//     "yyyy/MM/dd hh:mm:ss" or ISO 8601, local time, compared to the second. An unreadable stamp is false.

constexpr int kDownLoadErrorSize = 256;

extern "C" {
using TKVDownLoadFileEx = int (*)(const char* source, const char* target, const char* timeout,
                                  const char* registryWord, char* errorText);
using TUnZipFilesOrDir = int (*)(const char* archive, const char* targetDir, char* errorText);
using TUnZipFilesList = int (*)(const char* archive, const char* targetDir, const char* names,
                                char* errorText);
using TGetFileList = int (*)(const char* archive, char* buffer, int size, char* errorText);
using TCompareFileToDown = int (*)(const char* stamp, const char* localFile);
using TUnZipFilesXML = int (*)(const char* archive, const char* targetDir, const char* xml, char* errorText);
using TNeedDownLoad = int (*)(const char* source, const char* localFile, const char* timeout,
                              char* errorText);
using TCompareFileToDownEx = int (*)(const char* stamp, const char* localFile, long long size);

#define KV_EXPORT __attribute__((visibility("default")))
KV_EXPORT int KVDownLoadFileEx(const char* source, const char* target, const char* timeout,
                               const char* registryWord, char* errorText);
KV_EXPORT int UnZipFilesOrDir(const char* archive, const char* targetDir, char* errorText);
KV_EXPORT int UnZipFilesList(const char* archive, const char* targetDir, const char* names, char* errorText);
KV_EXPORT int GetFileList(const char* archive, char* buffer, int size, char* errorText);
KV_EXPORT int CompareFileToDown(const char* stamp, const char* localFile);
KV_EXPORT int UnZipFilesXML(const char* archive, const char* targetDir, const char* xml, char* errorText);
KV_EXPORT int NeedDownLoad(const char* source, const char* localFile, const char* timeout, char* errorText);
KV_EXPORT int CompareFileToDownEx(const char* stamp, const char* localFile, long long size);
#undef KV_EXPORT
}
