#pragma once

#include "convert/LogEntry.h"

#include <QString>

namespace velmora {

// The counts a run's entries add up to: what a summary line, the window's
// result and the command line's exit status are made of.
struct RunSummary
{
    qsizetype converted = 0;
    qsizetype notEightDirections = 0; // left as they are
    qsizetype alreadyConverted = 0;   // other names of files converted in the run
    qsizetype failed = 0;             // files that failed or were refused as unsafe
    qsizetype foldersNotListed = 0;
    qsizetype putBack = 0; // left half-written by a killed run, put back
    qsizetype skipped = 0; // left out: converted by a recorded run
    // Converted again: a recorded run had converted them, unchanged since
    // (not an entry of its own: the front sets it from the run).
    qsizetype turnedAgain = 0;
    bool otherFailure = false; // a mask list, a journal: nothing about one file
    bool stopped = false;

    void add(const LogEntry &entry);
    // Whether anything failed, a file or otherwise.
    bool anyFailure() const { return failed > 0 || foldersNotListed > 0 || otherFailure; }
    // Whether something was left as it is without failing (a file that is not
    // an 8-direction file, a name seen twice, a search that found nothing).
    bool anyLeftAlone() const { return m_leftAlone; }

    // "12 files converted, 3 not 8-direction files left as they are, 1 failed, ..."
    QString text() const;

private:
    bool m_leftAlone = false;
};

} // namespace velmora
