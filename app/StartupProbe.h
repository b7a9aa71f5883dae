// Start-up measurements for the benchmark of the tool's start: how long
// after the process started the window first paints, and how much memory the
// running window holds. Shared by the tool and by the empty-window peer it is
// measured against, so that both are measured the same way.
#pragma once

#include <QByteArray>
#include <QtGlobal>

class QWidget;

// The start time field (22nd) of a /proc/<pid>/stat text, in clock ticks
// since boot, or -1 if the text is malformed. The command name (2nd field)
// may hold blanks and parentheses; fields are counted after its last ')'.
qint64 ParseStartTicks(const QByteArray& stat);

// The VmRSS value of a /proc/<pid>/status text in kB, or -1 if absent.
qint64 ParseResidentKb(const QByteArray& status);

// Milliseconds from this process's start to now (boot clock), to the 10 ms
// resolution of the kernel's start time; -1 if /proc cannot be read.
double MsSinceProcessStart();

// This process's resident set in kB, or -1.
qint64 ResidentKb();

// Test hook of the benchmark: with LORVEX_REPORT_FIRST_PAINT=1 in the
// environment, the first paint event of `window` writes to standard error
//   probe: first-paint ms=<since process start> realtime-us=<wall clock, us>
// and one second later (the window running, nothing on screen changing)
//   probe: rss kb=<VmRSS>
// With LORVEX_EXIT_AFTER_FIRST_PAINT=1 as well, the application then quits
// with exit code 0. Without the switch, nothing is installed.
void WatchFirstPaint(QWidget* window);
