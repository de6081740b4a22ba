// Which commands the main window enables for connection, busy state and
// each pane's selection. Every case compares the full answer of a routine,
// so a wrong rule and an item answered by the wrong routine both show.
#include "app/CommandState.h"
#include "ftp/FtpComponent.h"

#include <gtest/gtest.h>

#include <ostream>

// Lists a failing answer item by item.
static void PrintTo(const CommandStates& states, std::ostream* os)
{
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        *os << "\n  " << it.key().toStdString() << (it.value() ? " on" : " off");
}

namespace {

constexpr int kFile = 3, kLink = 10, kFolder = 11;

CommandStates States(std::initializer_list<std::pair<const char*, bool>> items)
{
    CommandStates states;
    for (const auto& [key, enabled] : items) states.insert(QLatin1String(key), enabled);
    return states;
}

// The one-row cases: a file, a folder and a remote link (icon 10).
PaneSelection One(int nIcon) { return {true, 1, nIcon}; }

}  // namespace

TEST(CommandStateTest, ConnectedStateSwitchesBothGroups)
{
    // Connecting leaves Upload to the local selection; disconnecting takes it away.
    EXPECT_EQ(CommandState::SetConnectedState(true),
              States({{"cmdDisconnect", true}, {"Toolbar1:2", true}, {"Toolbar6", true}, {"miCreateRemoteFolder", true},
                      {"optAscii", true}, {"optBinary", true}, {"cboRemotePath", true}, {"miRemote", true},
                      {"Toolbar1:11", true}, {"Toolbar1:13", true}, {"cmdConnect", false}, {"Toolbar1:1", false},
                      {"Toolbar1:3", false}}));
    EXPECT_EQ(CommandState::SetConnectedState(false),
              States({{"cmdDisconnect", false}, {"Toolbar1:2", false}, {"Toolbar6", false}, {"miCreateRemoteFolder", false},
                      {"optAscii", false}, {"optBinary", false}, {"cboRemotePath", false}, {"miRemote", false},
                      {"Toolbar1:11", false}, {"Toolbar1:13", false}, {"cmdConnect", true}, {"Toolbar1:1", true},
                      {"Toolbar1:3", true}, {"cmdSend", false}, {"mnuLocalUpload", false}, {"Toolbar5:4", false},
                      {"Toolbar1:5", false}}));
}

TEST(CommandStateTest, BusyStateOnlyTouchesAbort)
{
    EXPECT_EQ(CommandState::SetBusyState(true), States({{"cmdAbort", true}, {"Toolbar1:4", true}}));
    EXPECT_EQ(CommandState::SetBusyState(false), States({{"cmdAbort", false}, {"Toolbar1:4", false}}));
}

TEST(CommandStateTest, RemoteCommandsFollowTheSelection)
{
    struct Case {
        const char* what;
        PaneSelection selection;
        bool del, rename, removeFolder, download;
        bool busy = false;
    };
    const Case cases[] = {
        {"nothing selected", {false, 0, 0}, false, false, false, false},
        {"one file, a transfer running", One(kFile), true, true, false, false, true},
        {"one file", One(kFile), true, true, false, true},
        {"one folder", One(kFolder), false, false, true, true},
        // A link may be either, so it is offered as both.
        {"one link", One(kLink), true, true, true, true},
        {"icon 9 is only a file", One(9), true, true, false, true},
        // Several rows count with icon 0, whatever the reported item is.
        {"several, item a folder", {true, 3, kFolder}, true, true, false, true},
        {"two, item a folder", {true, 2, kFolder}, true, true, false, true},
        // The list still reports an item after its rows were deselected.
        {"item but no row selected", {true, 0, kFolder}, false, false, true, false},
        {"rows but no item", {false, 1, kLink}, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CommandState::UpdateRemoteCommands(c.selection, c.busy),
                  States({{"miDeleteRemoteFile", c.del}, {"miRenameRemoteFile", c.rename},
                          {"miRemoveRemoteFolder", c.removeFolder}, {"Toolbar1:15", c.del}, {"Toolbar1:16", c.rename},
                          {"Toolbar1:14", c.removeFolder}, {"cmdReceive", c.download},
                          {"mnuRemoteDownload", c.download}, {"Toolbar6:4", c.download},
                          {"Toolbar1:12", c.download}}));
    }
}

TEST(CommandStateTest, LocalCommandsFollowTheSelectionAndTheConnection)
{
    const int idle = FtpComponent::kStateConnected;
    struct Case {
        const char* what;
        PaneSelection selection;
        int ftpState;
        bool del, rename, removeFolder, upload;
    };
    const Case cases[] = {
        {"nothing selected", {false, 0, 0}, idle, false, false, false, false},
        {"one file, idle", One(kFile), idle, true, true, false, true},
        {"one folder, idle", One(kFolder), idle, false, false, true, true},
        {"several, idle", {true, 4, kFolder}, idle, true, true, false, true},
        // Files stay selected, but no upload while a transfer runs or
        // without a connection.
        {"one file, busy", One(kFile), FtpComponent::kStateBusy, true, true, false, false},
        {"several, busy", {true, 2, kFile}, FtpComponent::kStateBusy, true, true, false, false},
        {"one file, not connected", One(kFile), FtpComponent::kStateNotConnected, true, true, false, false},
        {"item but no row selected", {true, 0, kFile}, idle, true, true, false, false},
        {"rows but no item", {false, 1, kFile}, idle, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CommandState::UpdateLocalCommands(c.selection, c.ftpState),
                  States({{"miDeleteLocalFile", c.del}, {"mnuLocalDeleteFileToRecycleBin", c.del},
                          {"miRenameLocalFile", c.rename}, {"miCreateLocalFolder", true},
                          {"miRemoveLocalFolder", c.removeFolder}, {"mnuDelteFolderToRecycleBin", c.removeFolder},
                          {"Toolbar1:6", true}, {"Toolbar1:7", c.removeFolder}, {"Toolbar1:8", c.del},
                          {"Toolbar1:9", c.rename},
                          {"cmdSend", c.upload}, {"mnuLocalUpload", c.upload}, {"Toolbar5:4", c.upload},
                          {"Toolbar1:5", c.upload}}));
    }
}

TEST(CommandStateTest, StartUpAndDisconnectLeaveTheExpectedButtons)
{
    // Start-up order: local, remote, connected(false), busy(false); later
    // routines win where they touch the same item.
    CommandStates window;
    const auto apply = [&window](const CommandStates& states) { window.insert(states); };
    apply(CommandState::UpdateLocalCommands({}, FtpComponent::kStateNotConnected));
    apply(CommandState::UpdateRemoteCommands({}));
    apply(CommandState::SetConnectedState(false));
    apply(CommandState::SetBusyState(false));
    EXPECT_TRUE(window.value(QStringLiteral("cmdConnect")));
    EXPECT_TRUE(window.value(QStringLiteral("Toolbar1:3")));
    EXPECT_TRUE(window.value(QStringLiteral("miCreateLocalFolder")));
    for (const char* off : {"cmdDisconnect", "cmdSend", "Toolbar1:5", "cmdAbort", "cmdReceive", "miRemote"})
        EXPECT_FALSE(window.value(QLatin1String(off), true)) << off;

    // Connected with nothing selected: no Upload. With a local file selected:
    // Connect and Reconnect go away, Upload comes; disconnecting takes Upload
    // away again.
    apply(CommandState::SetConnectedState(true));
    apply(CommandState::UpdateLocalCommands({}, FtpComponent::kStateConnected));
    EXPECT_FALSE(window.value(QStringLiteral("cmdSend"), true));
    apply(CommandState::UpdateLocalCommands(One(kFile), FtpComponent::kStateConnected));
    EXPECT_FALSE(window.value(QStringLiteral("cmdConnect"), true));
    EXPECT_FALSE(window.value(QStringLiteral("Toolbar1:3"), true));
    EXPECT_TRUE(window.value(QStringLiteral("cmdSend")));
    apply(CommandState::SetConnectedState(false));
    EXPECT_FALSE(window.value(QStringLiteral("cmdSend"), true));
    EXPECT_FALSE(window.value(QStringLiteral("cmdDisconnect"), true));
}
