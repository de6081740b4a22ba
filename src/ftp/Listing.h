#pragma once

#include "ftp/ListingEntry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

class ControlChannel;
class DataChannel;
struct FtpSettings;

// The current folder's listing: MLSD where the server offers it and the
// settings allow, else LIST -a (plain LIST where that is refused), read over
// a data connection and parsed into entries as it arrives, line by line:
// neither the listing's text nor (unless collected) its entries are held
// whole.
class ListingReader {
public:
    ListingReader(ControlChannel& control, DataChannel& data, const FtpSettings& settings);

    // Every entry, in the server's order, as soon as its line is in. When
    // this throws, entries handed on before belong to a listing that did
    // not complete.
    void list(const std::function<void(ListingEntry&)>& onEntry);
    QList<ListingEntry> list();
    // The lines a listing command (LIST, NLST, MLSD and their arguments)
    // sends over its data connection as they arrive, line ends removed,
    // blank lines left out.
    void read(const QString& sCommand, const std::function<void(QByteArrayView)>& onLine);

private:
    void readUnixListing(const std::function<void(QByteArrayView)>& onLine);

    ControlChannel& m_control;
    DataChannel& m_data;
    const FtpSettings& m_settings;
};
