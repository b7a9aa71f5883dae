// Every outcome of a request that reaches a user, in one table: the
// language key of the window's message, the command line's text and the
// command line's exit status. The window, the command line and the batch
// read their words and numbers from here, so that no two disagree and no
// two outcomes share an exit status.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lorvex {

enum class Outcome {
    Done,
    // The address rules (CheckNetParam), nothing sent; result codes 1 to 8.
    IpHostAllOnes,
    IpHostAllZeros,
    Loopback,
    NotUnicast,
    BadMask,
    OtherSubnet,
    GatewayHostAllOnes,
    GatewayHostAllZeros,
    // The maker's devices (CLorvexManage::SETNET_*); result codes 9 to 21.
    NoAnswer,
    Refused,
    NotIpCamera,
    NoDevice,
    TooLong,
    Unverified,
    IdentityConflict,
    Locked,
    NotActivated,
    NoPresence,
    WeakPassword,
    AlreadyActive,
    SetupCodeWrong,
    UnknownResult,     // a result code this tool does not know
    // ONVIF cameras.
    CameraNotConfirmed,
    CameraOutOfReach,
    CameraWrongCredentials,
    CameraLocked,
    CameraNoAnswer,
    CameraBadReply,
    CameraTooLarge,
    CameraRefused,
    CameraBadAddress,
    CameraUnsupported,
    CameraCertificateChanged,
    CameraClockOff,
    CameraConflict,
    // A camera's picture (snapshot): nothing written.
    CameraBadPicture,      // not a JPEG read whole within the image bounds
    CameraPictureTooLarge, // past the byte bound
    NoPicture,             // the maker's device is no IP camera: nothing sent
    // Commands as a whole.
    NotAllDone,  // not everything asked was done; the lines printed say what
    NothingSent, // a batch's plan, selection or setup codes refused before any request
    UsageError,  // a command line that is not understood
    Interrupted, // stopped by a signal
};

struct OutcomeRow {
    Outcome outcome;
    int32_t resultCode; // the manager's result code for it; -1: none
    const char* key;    // the window's message; "" where the window shows none
    const char* text;   // the command line's words, one line
    int exitCode;       // the command line's exit status
};

// The whole table, one row per Outcome in the enum's order: *count rows.
const OutcomeRow* OutcomeTable(size_t* count);

// The row of `outcome`.
const OutcomeRow& RowOf(Outcome outcome);

// The outcome of a result code of SetNetParam, Activate or RestoreDevice
// (the address rules, SETNET_*): UnknownResult for any other number.
Outcome OutcomeOfResult(int32_t code);

// The exit status for `outcome`; each outcome has its own.
inline int ExitCodeOf(Outcome outcome) { return RowOf(outcome).exitCode; }

} // namespace lorvex
