// A stand-in for the search library that records every call made to its
// seven functions and lets a test deliver events through the callback that
// was registered, as the library's thread would.
#pragma once

#include <string>
#include <vector>

namespace recorder {

// Forgets the recorded calls and the registered callback.
void Reset();

// The calls so far, one text each: "Initial(96)", "StartAuto(5)",
// "StopAuto", "Manual", "Quit", "SetConfig(AA:BB:CC:DD:EE:FF,<xml>)",
// "Restore(AA:BB:CC:DD:EE:FF)".
std::vector<std::string> Calls();

// Calls the registered callback with a writable copy of mac (any length),
// as the library would. Returns false when no callback is registered.
bool Inject(const char* mac, int code, const char* xml);

// The user context given to LORVEX_SEARCH_Initial.
void* User();

// What LORVEX_SET_DevRestoreDefault answers (default 1).
void SetRestoreResult(int result);

// The state LORVEX_TRUST_Identity reports for every MAC (default
// LORVEX_IDENTITY_VERIFIED); LORVEX_TRUST_ConfirmKey turns UNVERIFIED into
// CONFIRMED. Calls are recorded as "Confirm(MAC,FP)",
// "Activate(MAC,PASSWORD,SETUPCODE)", "TrustRestore(MAC)".
void SetIdentity(int state);

// What LORVEX_TRUST_Restore answers (default 0, restored).
void SetTrustRestoreResult(int result);

} // namespace recorder
