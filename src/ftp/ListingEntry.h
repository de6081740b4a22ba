#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

// One entry of a server's folder listing.
struct ListingEntry {
    enum Kind { File = 0, Folder = 1, Link = 2 };

    // What few entries have, kept apart so that the others do not carry it
    // (a pane keeps an entry per row).
    struct Rare {
        QByteArray rawName;  // the name's bytes on the wire, when decoding name does not give them back
        QString linkTarget;  // for links, when the listing names the target
    };

    // (In this order the members leave no gaps.)
    QString name;          // as the server spells it, without a link's " -> target"
    QDateTime date;        // local time; invalid when the listing gives none
    qint64 size = 0;       // bytes; 0 when the listing gives none
    int nDatePrecision = 0;  // seconds the date is exact to: 1, 60 or 86400 (0: no date)
    int kind = File;
    int nMode = -1;        // permission bits (07777) as the listing gives them; -1 when it gives none
    bool bSpecial = false; // a device, socket or pipe: listed, never transferred
    std::shared_ptr<const Rare> rare;  // none: no raw name, no link target

    QByteArray rawName() const { return rare ? rare->rawName : QByteArray(); }
    QString linkTarget() const { return rare ? rare->linkTarget : QString(); }
    void setRawName(const QByteArray& bytes) { change([&](Rare& r) { r.rawName = bytes; }); }
    void setLinkTarget(const QString& sTarget) { change([&](Rare& r) { r.linkTarget = sTarget; }); }

private:
    // Entries share their Rare part: a change makes this entry's own.
    template <typename Change>
    void change(Change apply)
    {
        Rare changed = rare ? *rare : Rare();
        apply(changed);
        rare = changed.rawName.isEmpty() && changed.linkTarget.isEmpty() ? nullptr : std::make_shared<const Rare>(std::move(changed));
    }
};
