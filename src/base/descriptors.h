#pragma once

#include "uniquefd.h"

#include <QByteArrayView>

#include <functional>
#include <utility>

// The ends of a pipe, both close-on-exec; both invalid when none could be made.
struct Pipe
{
    UniqueFd read;
    UniqueFd write;
};
Pipe makePipe();

// A connected pair of Unix stream sockets, both close-on-exec; both invalid when none could be
// made.
std::pair<UniqueFd, UniqueFd> makeSocketPair();

// From now on a read never waits on the descriptor.
void setNonBlocking(int fd);

// Where a drain stopped: the descriptor has nothing more for now, or its writer is gone (the
// end of the file, or an error that no later read would mend).
enum class Drain
{
    wouldBlock,
    ended
};

// Reads a non-blocking descriptor until it would block or ends, handing each chunk to `take`
// as it comes, so that a reader woken by a notifier takes everything there is in one turn.
Drain drainAvailable(int fd, const std::function<void(QByteArrayView chunk)> &take);
