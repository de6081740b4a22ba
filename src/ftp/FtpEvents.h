#pragma once

#include "ftp/Certificates.h"
#include "ftp/ExistingFiles.h"

#include <QObject>
#include <QString>

// What one connection reports to its owner. The engine's parts raise these
// in the connection's worker thread; the component forwards them.
class FtpEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void logText(const QString& sText, long nReserved);
    void progress(qint64 nBytes, qint64 nTotalBytes, int nPercent);
    void receiving(const QString& sFileName);
    void sending(const QString& sFileName);
    // sDetail: what went wrong, when an error made the item be skipped.
    void itemSkipped(const QString& sRemoteName, const QString& sLocalName, long nReason, const QString& sDetail);
    void disconnected();
    // Blocking: the owner fills in the text (empty: give up).
    void accountQuery(QString* pAccount);
    void passwordQuery(QString* pPassword);
    // Blocking: the server's certificate is not one the system or the
    // settings trust; the owner sets *pTrust to go on with it all the same.
    void certificateQuery(const CertificateInfo& info, bool* pTrust);
    // Blocking: a file of a folder transfer exists at its destination and
    // differs; the owner sets *pAnswer to an ExistingFiles::Answer.
    void existingFileQuery(const ExistingFileQuestion& question, int* pAnswer);
};
