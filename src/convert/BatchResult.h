#pragma once

#include <QtGlobal>

namespace velmora {

// What a batch came to: files found, files that failed (with the lines that
// are not about a file, such as "none found"), and whether it was stopped.
struct BatchResult
{
    qsizetype found = 0;
    qsizetype failed = 0;
    bool stopped = false;
};

} // namespace velmora
