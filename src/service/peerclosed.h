#pragma once

#include <sys/types.h>

// Whether the process or one of its descendants holds a TCP connection whose other end has
// been closed (CLOSE_WAIT). A client that waits for an ask-pass answer reads nothing from its
// server, so it learns that the server gave up on the login only once the answer has come.
bool holdsConnectionClosedByPeer(pid_t root);
