#pragma once
// TfrmPortalUser: the users of the suite's portal, fetched from the portal's user web service, to pick
// a notification recipient from. Also the web-service routine and the XML texts exchanged with the
// portal.
#include <QList>
#include <QPair>
#include <QString>

#include "optionforms/KVDialog.h"

class TStringAlignGrid;

// Calls the web service through the library "CallWebService" (export "CallWebServiceFx"): posts the
// request for the operation to the address and answers what the service sent back. The answer is empty
// when the library or its export is missing (Called then says false); a failed call raises EKvError
// with the library's text.
QString CallWebService(const QString& address, const QString& operation, const QString& request,
                       bool* called = nullptr);
// An XML text as the framework loads it: the declaration is completed with the encoding "GB2312" and
// the document type of the suite's entities when they are missing, and added when there is none.
QString NormalizeXMLText(const QString& xml);

namespace kv::portal {
// "zh_CN" for system code page 936, "zh_TW" for 950, otherwise "ch_US".
QString language(const QString& systemCodePage);
// The request of the user list for a user of a company.
QString requestXML(const QString& userId, const QString& companyId, const QString& systemCodePage);
// Reads the answer: true with the users [code, name] when its status code is "0", else false with the
// status description. Raises EKvError when the answer is no XML document.
bool parseUsers(const QString& answer, QList<QPair<QString, QString>>& users, QString& description);
} // namespace kv::portal

class TfrmPortalUser : public TfrmKVDialog {
    Q_OBJECT

public:
    explicit TfrmPortalUser(TKVForm* owner);

    TStringAlignGrid* grUser;

    // Fills the list from the portal web service at Address; failures are shown and leave it empty.
    bool LoadUsers(const QString& address, const QString& userId, const QString& companyId);
    void SetUsers(const QList<QPair<QString, QString>>& users);
    int UserCount() const;
    // [code, name] of the row selected when the dialog was closed; empty when it was cancelled or no
    // row was selected.
    QStringList Result() const { return FResult; }

protected:
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* key, QWidget* target) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QStringList FResult;
    bool FCancelled = false;
};
