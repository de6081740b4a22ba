// Which commands the main window enables for connection, busy state and
// each pane's selection. Every case compares the full answer of a routine,
// so a wrong rule and a command answered by the wrong routine both show.
#include "app/CommandState.h"
#include "ftp/FtpComponent.h"

#include <gtest/gtest.h>

#include <ostream>

// Lists a failing answer command by command.
static void PrintTo(const CommandStates& states, std::ostream* os)
{
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        *os << "\n  " << static_cast<int>(it.key()) << (it.value() ? " on" : " off");
}

namespace {

using C = Command;
constexpr int kFile = ListingEntry::File, kFolder = ListingEntry::Folder, kLink = ListingEntry::Link;

CommandStates States(std::initializer_list<std::pair<std::initializer_list<Command>, bool>> groups)
{
    CommandStates states;
    for (const auto& [commands, enabled] : groups)
        for (Command command : commands) states.insert(command, enabled);
    return states;
}

PaneSelection One(int nKind) { return {true, 1, nKind}; }

}  // namespace

TEST(CommandStateTest, ConnectedAndBusyStates)
{
    for (const bool on : {true, false}) {
        CommandStates expected = States({{{C::DisconnectButton, C::ToolDisconnect, C::RemoteToolbar, C::RemoteCreateFolder,
                                           C::AsciiType, C::BinaryType, C::RemotePathBox, C::RemoteMenu,
                                           C::ToolRefreshRemote, C::ToolNewRemoteFolder},
                                          on},
                                         {{C::ConnectButton, C::ToolConnect, C::ToolReconnect}, !on}});
        // Connecting leaves Upload to the local selection; disconnecting takes it away.
        if (!on) expected.insert(States({{{C::UploadButton, C::LocalUpload, C::LocalToolbarUpload, C::ToolUpload}, false}}));
        EXPECT_EQ(CommandState::SetConnectedState(on), expected) << on;
        EXPECT_EQ(CommandState::SetBusyState(on), States({{{C::AbortButton, C::ToolAbort}, on}})) << on;
    }
}

TEST(CommandStateTest, RemoteCommandsFollowTheSelection)
{
    const struct {
        const char* what;
        PaneSelection selection;
        bool del, rename, removeFolder, download;
        bool busy = false;
    } cases[] = {
        {"nothing selected", {false, 0, kFile}, false, false, false, false},
        {"one file, a transfer running", One(kFile), true, true, false, false, true},
        {"one file", One(kFile), true, true, false, true},
        {"one folder", One(kFolder), false, false, true, true},
        {"one link: may be either", One(kLink), true, true, true, true},
        {"several, item a folder: count as files", {true, 3, kFolder}, true, true, false, true},
        {"two, item a link", {true, 2, kLink}, true, true, false, true},
        // The list still reports an item after its rows were deselected.
        {"item but no row selected", {true, 0, kFolder}, false, false, true, false},
        {"rows but no item", {false, 1, kLink}, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CommandState::UpdateRemoteCommands(c.selection, c.busy),
                  States({{{C::RemoteDeleteFile, C::ToolDeleteRemoteFile}, c.del},
                          {{C::RemoteRenameFile, C::ToolRenameRemoteFile}, c.rename},
                          {{C::RemoteRemoveFolder, C::ToolRemoveRemoteFolder}, c.removeFolder},
                          {{C::DownloadButton, C::RemoteDownload, C::RemoteToolbarDownload, C::ToolDownload}, c.download}}));
    }
}

TEST(CommandStateTest, LocalCommandsFollowTheSelectionAndTheConnection)
{
    const int idle = FtpComponent::kStateConnected, busy = FtpComponent::kStateBusy;
    const struct {
        const char* what;
        PaneSelection selection;
        int ftpState;
        bool del, rename, removeFolder, upload;
    } cases[] = {
        {"nothing selected", {false, 0, kFile}, idle, false, false, false, false},
        {"one file, idle", One(kFile), idle, true, true, false, true},
        {"one folder, idle", One(kFolder), idle, false, false, true, true},
        {"one unreadable entry (a link)", One(kLink), idle, true, true, true, true},
        {"several, idle", {true, 4, kFolder}, idle, true, true, false, true},
        // No upload while a transfer runs or without a connection.
        {"one file, busy", One(kFile), busy, true, true, false, false},
        {"several, busy", {true, 2, kFile}, busy, true, true, false, false},
        {"one file, not connected", One(kFile), FtpComponent::kStateNotConnected, true, true, false, false},
        {"item but no row selected", {true, 0, kFile}, idle, true, true, false, false},
        {"rows but no item", {false, 1, kFile}, idle, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CommandState::UpdateLocalCommands(c.selection, c.ftpState),
                  States({{{C::LocalDeleteFile, C::LocalDeleteFileToTrash, C::ToolDeleteLocalFile}, c.del},
                          {{C::LocalRenameFile, C::ToolRenameLocalFile}, c.rename},
                          {{C::LocalCreateFolder, C::ToolNewLocalFolder}, true},
                          {{C::LocalRemoveFolder, C::LocalRemoveFolderToTrash, C::ToolRemoveLocalFolder}, c.removeFolder},
                          {{C::UploadButton, C::LocalUpload, C::LocalToolbarUpload, C::ToolUpload}, c.upload}}));
    }
}
