// The About window's description of the network connection, from its flags.
#include "app/InternetConnection.h"

#include <gtest/gtest.h>

TEST(ConnectionDescription, FollowsTheFlags)
{
    using Flag = ConnectionState::Flag;
    const QString every = QStringLiteral("Connect via a Modem.Connection offline.Modem is busy with a non-Internet "
                                         "connection.Remote Access Services are installed.");
    const struct {
        bool connected;
        unsigned flags;
        QString text;
    } rows[] = {
        {false, Flag::kLan | Flag::kConfigured, QStringLiteral("No internet connection.")},
        // The pieces run together as they are.
        {true, Flag::kConfigured | Flag::kLan, QStringLiteral("Network connection configured.\nConnect via a LAN..")},
        {true, Flag::kLan | Flag::kProxy, QStringLiteral("Connect via a LAN., and uses a proxy server.")},
        {true, 0u, QStringLiteral(".")},
        {true, Flag::kConfigured, QStringLiteral("Network connection configured.\n.")},
        {true, Flag::kProxy, QStringLiteral(", and uses a proxy server.")},
        {true, 127u, QStringLiteral("Network connection configured.\nConnect via a LAN., and uses a proxy server.") + every},
        {true, Flag::kModem | Flag::kOffline | Flag::kModemBusy | Flag::kRemoteAccessInstalled, QLatin1Char('.') + every},
    };
    for (const auto& row : rows)
        EXPECT_EQ(InternetConnection::ConnectionDescription(ConnectionState{row.connected, row.flags}), row.text)
            << row.flags;
}
