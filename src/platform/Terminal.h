#pragma once

#include <QString>
#include <QtGlobal>

namespace velmora {

// The two standard streams a command-line program writes to.
enum class StandardStream { Output, Error };

// Whether the stream is attached to a terminal (and so may show a status line
// that is redrawn in place).
bool isTerminal(StandardStream stream);

// Writes all size bytes to the stream, retrying short and interrupted writes.
// False when the stream can take no more (a reader that went away, a full
// disk), with the error number in error when one is given.
bool writeAll(StandardStream stream, const char *data, qsizetype size, int *error = nullptr);

// Writes text to the stream as UTF-8; what writeAll says.
bool writeText(StandardStream stream, const QString &text);

// A reader that leaves early (`| head -1`) must end our output with a write
// error, not kill the process with a signal.
void ignoreBrokenPipeSignal();

// Ctrl+C (SIGINT), SIGTERM and SIGHUP ask the program to stop between two
// files instead of ending it on the spot, where a file could be left half
// rewritten. After installStopSignals, caughtStopSignal() is the number of the
// first such signal that arrived, or 0.
void installStopSignals();
int caughtStopSignal();

} // namespace velmora
