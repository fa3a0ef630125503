#pragma once

#include <QtGlobal>

namespace velmora {

// The two standard streams a command-line program writes to.
enum class StandardStream { Output, Error };

// Whether the stream is attached to a terminal (and so may show a status line
// that is redrawn in place).
bool isTerminal(StandardStream stream);

// Writes all size bytes to the stream, retrying short and interrupted writes.
// False when the stream can take no more (a reader that went away, a full disk).
bool writeAll(StandardStream stream, const char *data, qsizetype size);

// A reader that leaves early (`| head -1`) must end our output with a write
// error, not kill the process with a signal.
void ignoreBrokenPipeSignal();

} // namespace velmora
