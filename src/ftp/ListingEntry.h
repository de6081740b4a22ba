#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One entry of a server's folder listing.
struct ListingEntry {
    enum Kind { File = 0, Folder = 1, Link = 2 };

    // (In this order the members leave no gaps: a pane keeps one per row.)
    QString name;          // as the server spells it, without a link's " -> target"
    QByteArray rawName;    // the name's bytes on the wire, when decoding name does not give them back
    QString linkTarget;    // for links, when the listing names the target
    QDateTime date;        // local time; invalid when the listing gives none
    qint64 size = 0;       // bytes; 0 when the listing gives none
    int nDatePrecision = 0;  // seconds the date is exact to: 1, 60 or 86400 (0: no date)
    int kind = File;
    int nMode = -1;        // permission bits (07777) as the listing gives them; -1 when it gives none
    bool bSpecial = false; // a device, socket or pipe: listed, never transferred
};
