#pragma once

// What the engine's parts and its owner share about one connection.
namespace FtpState {

// Where a connection is. Each connection's worker writes it in one place
// (ControlChannel::setPhase); the component reads it.
enum class Phase : int {
    NotConnected = 0,
    Connecting = 1,  // inside the call that connects, before the server has answered
    Connected = 2,   // logged in, no call running
    Busy = 3,        // a call is running on the connection
};

// Reason codes of the item-skipped event; the component's ReasonText gives their words.
enum SkipReason {
    kSkipUnsafeName = 1,      // the listed name cannot be used as a file name here
    kSkipSubfolder = 2,       // a subfolder, and subfolders were not asked for
    kSkipNoMatch = 3,         // the name does not match the mask
    kSkipLoop = 4,            // a link back into a folder already being copied
    kSkipSpecial = 5,         // not a regular file or folder (device, socket, pipe)
    kSkipLocalError = 6,      // the local file or folder could not be created or read
    kSkipRefused = 7,         // the server refused this item
    kSkipIdentical = 8,       // the destination holds the same file already
    kSkipExisting = 9,        // the destination's copy was kept, as the owner chose
    kSkipEncoding = 10,       // the server's character set cannot carry the name
};

}  // namespace FtpState
