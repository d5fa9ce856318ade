#include <QRegularExpression>

#include "optionforms/BaseRptServer.h"
#include "support/StewardINI.h"

QString ReportDirectory() {
    const TStewardIniS settings;
    if (settings.InstallPath.isEmpty()) return {};
    return settings.InstallPath + QStringLiteral("Report/");
}

QString ReportFileName(const QString& jobId) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    const QString id = jobId.trimmed();
    if (!plain.match(id).hasMatch()) return {};
    const QString dir = ReportDirectory();
    return dir.isEmpty() ? QString() : dir + id + QStringLiteral(".pdf");
}
