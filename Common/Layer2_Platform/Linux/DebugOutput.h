// Trace output for a developer watching the program run: the few lines the
// configuration requests write so that a stuck request can be followed. On
// this host they go to standard error; nothing is kept.
#pragma once

#include <functional>
#include <string>

// Writes text as given (the caller supplies the line break) to the debug
// sink, standard error unless replaced. Null is ignored. Callers must never
// pass a password or any other secret.
void DebugOutput(const char* text);

// The function DebugOutput forwards to. Returns the previous one; an empty
// function restores standard error. Set it before use, not concurrently
// with calls.
using DebugSink = std::function<void(const std::string& text)>;
DebugSink SetDebugSink(DebugSink sink);
