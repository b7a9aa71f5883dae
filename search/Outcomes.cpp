#include "Outcomes.h"

#include "LorvexManage.h"
#include "NetParam.h"

namespace lorvex {

namespace {

// Result codes are the manager's own constants; exit statuses keep their
// numbers where no usage error or general failure needs the number (9 to
// 21), and the address rules move past them (50 + rule).
const OutcomeRow kTable[] = {
    {Outcome::Done, CLorvexManage::SETNET_DONE, "IDCS_IDCS_CHANGE_NETWORK_PARAM_SUCCESS",
     "done: the device took the new network parameters", 0},
    {Outcome::IpHostAllOnes, NETPARAM_IP_HOST_ALL_ONES, "IDCS_ERROR_IP_MASK_ALL1",
     "refused: the host part of the IP address is all ones", 51},
    {Outcome::IpHostAllZeros, NETPARAM_IP_HOST_ALL_ZEROS, "IDCS_ERROR_IP_MASK_ALL0",
     "refused: the host part of the IP address is all zeros", 52},
    {Outcome::Loopback, NETPARAM_LOOPBACK, "IDCS_ERROR_USE_LOOPBACK",
     "refused: the IP address or the gateway is a loopback address", 53},
    {Outcome::NotUnicast, NETPARAM_NOT_UNICAST, "IDCS_ERROR_IP_ROUTE_INVALID",
     "refused: the IP address or the gateway is not a unicast address of classes A to C", 54},
    {Outcome::BadMask, NETPARAM_BAD_MASK, "IDCS_ERROR_MASK_NOT_CONTINE",
     "refused: the subnet mask is zero, too short for the address class, or not contiguous", 55},
    {Outcome::OtherSubnet, NETPARAM_OTHER_SUBNET, "IDCS_ERROR_DIFFERENT_SEGMENT",
     "refused: the gateway is not in the subnet of the IP address", 56},
    {Outcome::GatewayHostAllOnes, NETPARAM_GATEWAY_HOST_ALL_ONES, "IDCS_ERROR_ROUTE_MASK_ALL1",
     "refused: the host part of the gateway is all ones", 57},
    {Outcome::GatewayHostAllZeros, NETPARAM_GATEWAY_HOST_ALL_ZEROS, "IDCS_ERROR_ROUTE_MASK_ALL0",
     "refused: the host part of the gateway is all zeros", 58},
    {Outcome::NoAnswer, CLorvexManage::SETNET_NO_ANSWER, "IDCS_SET_NETWORK_NO_ANSWER",
     "failed: no answer from the device within 3000 ms", 9},
    {Outcome::Refused, CLorvexManage::SETNET_FAILED, "IDCS_IDCS_CHANGE_NETWORK_PARAM_ERROR",
     "failed: the device refused the request (wrong password?), the port change failed, or a "
     "port is not 1 to 65535",
     10},
    {Outcome::NotIpCamera, CLorvexManage::SETNET_NOT_IPC, "",
     "sent: no answer came; the device is no IP camera and may take a request without one", 11},
    {Outcome::NoDevice, CLorvexManage::SETNET_NO_DEVICE, "IDCS_SET_NETWORK_DEVICE_GONE",
     "failed: device does not exist (not found by the search)", 12},
    {Outcome::TooLong, CLorvexManage::SETNET_TOO_LONG, "IDCS_SET_NETWORK_TOO_LONG",
     "refused: the request does not fit one datagram (an over-long password?); nothing was sent",
     13},
    {Outcome::Unverified, CLorvexManage::SETNET_UNVERIFIED, "IDCS_IDENTITY_NOT_VERIFIED",
     "refused: no trusted maker certified the device's key; compare its fingerprint and give "
     "--accept-key; nothing was sent",
     14},
    {Outcome::IdentityConflict, CLorvexManage::SETNET_CONFLICT, "IDCS_IDENTITY_CONFLICT",
     "refused: two different keys answer for this MAC (a device is being impersonated); "
     "nothing was sent",
     15},
    {Outcome::Locked, CLorvexManage::SETNET_LOCKED, "IDCS_DEVICE_LOCKED_D",
     "refused: the device is locked after repeated wrong passwords or setup codes", 16},
    {Outcome::NotActivated, CLorvexManage::SETNET_NOT_ACTIVATED, "IDCS_DEVICE_NOT_ACTIVATED",
     "refused: the device is not activated; give it a password with `activate` first", 17},
    {Outcome::NoPresence, CLorvexManage::SETNET_NO_PRESENCE, "IDCS_RESET_BUTTON_NOT_PRESSED",
     "refused: the device's reset button was not pressed within the last 10 minutes; press it, "
     "then restore again",
     18},
    {Outcome::WeakPassword, CLorvexManage::SETNET_WEAK_PASSWORD, "IDCS_PASSWORD_TOO_WEAK",
     "refused: the password is too weak: 8 to 64 characters, at least two of lower case, upper "
     "case, digits and other characters, not the MAC, not the device name",
     19},
    {Outcome::AlreadyActive, CLorvexManage::SETNET_ALREADY_ACTIVE, "IDCS_DEVICE_ALREADY_ACTIVATED",
     "refused: the device is activated already", 20},
    {Outcome::SetupCodeWrong, CLorvexManage::SETNET_SETUP_CODE_WRONG, "IDCS_SETUP_CODE_WRONG",
     "refused: the setup code is wrong: compare it with the device's label (each wrong code "
     "counts like a wrong password)",
     21},
    {Outcome::UnknownResult, -1, "IDCS_IDCS_CHANGE_NETWORK_PARAM_ERROR",
     "failed: the device gave a result this tool does not know", 22},
    {Outcome::CameraNotConfirmed, -1, "IDCS_ONVIF_NOT_CONFIRMED",
     "not confirmed: the camera was not heard from its new address in time", 30},
    {Outcome::CameraOutOfReach, -1, "IDCS_ONVIF_OUT_OF_REACH",
     "refused: the camera has no address this computer reaches; nothing was sent", 31},
    {Outcome::CameraWrongCredentials, -1, "IDCS_ONVIF_WRONG_CREDENTIALS",
     "refused: the camera refused the user name or password", 32},
    {Outcome::CameraLocked, -1, "IDCS_ONVIF_LOCKED",
     "refused: the camera has locked the user after wrong logins", 33},
    {Outcome::CameraNoAnswer, -1, "IDCS_ONVIF_NO_ANSWER", "failed: the camera did not answer", 34},
    {Outcome::CameraBadReply, -1, "IDCS_ONVIF_FAULT_D",
     "failed: not a camera, or an answer that is not the one asked for", 35},
    {Outcome::CameraTooLarge, -1, "IDCS_ONVIF_FAULT_D", "failed: the camera's answer is too large",
     36},
    {Outcome::CameraRefused, -1, "IDCS_ONVIF_FAULT_D", "refused: the camera refused the request",
     37},
    {Outcome::CameraBadAddress, -1, "IDCS_ONVIF_BAD_ADDRESS",
     "refused: the camera cannot take this address, mask and gateway", 42},
    {Outcome::CameraUnsupported, -1, "IDCS_ONVIF_NOT_SUPPORTED",
     "refused: not supported for an ONVIF camera; nothing was sent", 38},
    {Outcome::CameraCertificateChanged, -1, "IDCS_ONVIF_CERTIFICATE_CHANGED",
     "refused: the camera's HTTPS certificate is not the pinned one; nothing was sent", 39},
    {Outcome::CameraClockOff, -1, "IDCS_ONVIF_CLOCK_OFF_D",
     "refused: the camera wants a signed login and its clock is over 5 minutes off; nothing was "
     "sent",
     40},
    {Outcome::CameraConflict, -1, "IDCS_ONVIF_CONFLICT_D",
     "refused: more than one host claims the camera; nothing was sent", 41},
    {Outcome::CameraBadPicture, -1, "",
     "refused: the camera's picture is not a JPEG this tool reads whole; nothing was written", 43},
    {Outcome::CameraPictureTooLarge, -1, "",
     "refused: the camera's picture is larger than 4 MiB; nothing was written", 44},
    {Outcome::NoPicture, -1, "",
     "refused: the device is no IP camera and has no picture; nothing was sent", 45},
    {Outcome::NotAllDone, -1, "",
     "failed: not everything asked was done (the lines printed say what)", 1},
    {Outcome::NothingSent, -1, "IDCS_BATCH_ERROR_FILE",
     "refused: the plan, the selection or the setup codes cannot be used; nothing was sent", 3},
    {Outcome::UsageError, -1, "", "a command line that is not understood; nothing was sent", 2},
    {Outcome::Interrupted, -1, "", "stopped by a signal after the device in flight", 130},
};

constexpr size_t kRows = sizeof kTable / sizeof kTable[0];

} // namespace

const OutcomeRow* OutcomeTable(size_t* count) {
    *count = kRows;
    return kTable;
}

const OutcomeRow& RowOf(Outcome outcome) {
    const size_t i = static_cast<size_t>(outcome);
    return i < kRows ? kTable[i] : kTable[static_cast<size_t>(Outcome::UnknownResult)];
}

Outcome OutcomeOfResult(int32_t code) {
    for (const OutcomeRow& row : kTable)
        if (row.resultCode >= 0 && row.resultCode == code)
            return row.outcome;
    return Outcome::UnknownResult;
}

} // namespace lorvex
