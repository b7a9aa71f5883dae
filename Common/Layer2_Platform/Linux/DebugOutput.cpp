#include "DebugOutput.h"

#include <cstdio>
#include <utility>

namespace {

DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

} // namespace

void DebugOutput(const char* text) {
    if (text == nullptr)
        return;
    if (Sink()) {
        Sink()(text);
        return;
    }
    std::fputs(text, stderr);
    std::fflush(stderr);
}

DebugSink SetDebugSink(DebugSink sink) {
    DebugSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}
