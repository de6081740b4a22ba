#pragma once

#include "ftp/ListingEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ControlChannel;
class DataChannel;
struct FtpSettings;

// The current folder's listing: MLSD where the server offers it and the
// settings allow, else LIST -a (plain LIST where that is refused), read over
// a data connection and parsed into entries.
class ListingReader {
public:
    ListingReader(ControlChannel& control, DataChannel& data, const FtpSettings& settings);

    QList<ListingEntry> list();
    // The lines a listing command (LIST, NLST, MLSD and their arguments)
    // sends over its data connection, line ends removed, blank lines left out.
    QList<QByteArray> read(const QString& sCommand);

private:
    QList<QByteArray> readUnixListing();

    ControlChannel& m_control;
    DataChannel& m_data;
    const FtpSettings& m_settings;
};
