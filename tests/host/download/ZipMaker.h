#pragma once
// Writes zip archives for the download tests with libzip.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <zip.h>

namespace testsupport {

// Entries in order; a name ending in "/" is a directory. Executable entries carry Unix mode 0755.
inline bool makeZip(const QString& fileName, const QList<QPair<QString, QByteArray>>& entries,
                    const QStringList& executables = {}) {
    int code = 0;
    zip_t* z = zip_open(QFile::encodeName(fileName).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!z) return false;
    for (const auto& [name, content] : entries) {
        const QByteArray n = name.toUtf8();
        zip_int64_t index = -1;
        if (name.endsWith('/')) {
            index = zip_dir_add(z, n.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            // libzip reads the data when the archive is closed; the copy lives until then.
            auto* copy = new QByteArray(content);
            zip_source_t* source = zip_source_buffer(z, copy->constData(), zip_uint64_t(copy->size()), 0);
            index = source ? zip_file_add(z, n.constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) : -1;
            if (index < 0 && source) zip_source_free(source);
            static QList<QByteArray*> keep;
            keep.append(copy);
        }
        if (index < 0) {
            zip_discard(z);
            return false;
        }
        if (executables.contains(name))
            zip_file_set_external_attributes(z, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, (0100755u) << 16);
    }
    return zip_close(z) == 0;
}

} // namespace testsupport
