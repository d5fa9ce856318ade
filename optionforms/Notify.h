#pragma once
// TfrmNotify: the people a job notifies when it is done, kept as a small XML text in the job request.
// Recipients are system users of the suite or, when the suite runs its portal, portal users.
#include <QList>
#include <QString>

#include "optionforms/KVDialog.h"

class QPushButton;
class TStringAlignGrid;
class TfrmBaseGene;

// One recipient as the XML keeps it: Type "1" system user, "5" portal user; Msg three "Y"/"N" letters
// for notifying by message, short message and mail.
struct TNotifyRecipient {
    QString ID, Name, Mob, Mail, Type, Msg;
    bool operator==(const TNotifyRecipient&) const = default;
};

class TfrmNotify : public TfrmKVDialog {
    Q_OBJECT

public:
    // Columns of grReceive.
    enum { colID, colName, colMob, colMail, colType, colMsg, colSMS, colMail2 };

    TfrmNotify(TfrmBaseGene* owner, const QString& notifyXml, const QString& startupPortal,
               const QString& portalWs);

    TStringAlignGrid* grReceive;
    QPushButton* BitBtn1; // OK
    QPushButton* BitBtn2; // Cancel

    // The recipients of the grid as XML; rows without a code are left out.
    QString NotifyXML() const;
    void LoadXML(const QString& xml);
    // True when the portal is started and its web-service address is known: recipients are portal users.
    bool PortalMode() const { return FPortalMode; }
    // The type pick-list line offered ("1.系统用户" or "5.Portal用户").
    QString TypeLine() const;

    // Lookups of the code column: system users (KVRMA) or portal users, employees (CMSMV), customers
    // (COPMA) and suppliers (PURMA); each fills the row of the current cell.
    void LookupUser(int row);
    void LookupEmployee(int row);
    void LookupCustomer(int row);
    void LookupSupplier(int row);

    // What the batch form's notify button does: reads the portal settings, shows the dialog and on OK
    // replaces NotifyXML. False (and NotifyXML kept) when cancelled.
    static bool EditRecipients(TfrmBaseGene* form, QString& notifyXml);
    // "StartupPortal" and "Portal WS" of KVRINTMA through the application server; empty when unknown.
    static void ReadPortalSettings(TfrmBaseGene* form, QString& startupPortal, QString& portalWs);
    // The list that notifies the current user: R1 with ID = UserID, Name empty, Type "5", Msg "YNN".
    static QString DefaultXML(const QString& userId);
    // The XML layout: declaration version "1.0" encoding "GB2312", root Root, elements R1, R2, ...
    static QString BuildXML(const QList<TNotifyRecipient>& recipients);
    // The R elements of a recipient XML in document order; nothing for a text that is no XML.
    static QList<TNotifyRecipient> ParseXML(const QString& xml);

    QList<TNotifyRecipient> Recipients() const;
    void SetRecipients(const QList<TNotifyRecipient>& recipients);

protected:
    void FormShow() override;
    void F2Lookup(int key, QWidget* control) override;
    void F3Lookup(int key, QWidget* control) override;
    void F4Lookup(int key, QWidget* control) override;
    bool FormKeyDown(QKeyEvent* key, QWidget* target) override;

    void BitBtn1Click();
    void BitBtn2Click();

private:
    int RowOf(QWidget* control) const;
    void FillRow(int row, const QString& id, const QString& name, const QString& mail, const QString& type);
    void FillFromLookup(int row, const QString& table, const QString& windowNo, const QString& type);

    TfrmBaseGene* FForm;
    QString FPortalWS;
    bool FPortalMode = false;
};
