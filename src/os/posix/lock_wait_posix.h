#pragma once
#include "os/lock_wait.h"

// Taking an flock(2) with a bounded wait, and naming the process that holds one.
namespace corvane::os::posix {

// flock(LOCK_EX) on `fd`: without a time limit when `wait` is null, else tried every 50 ms until
// `wait->limit` has passed or `*wait->cancel` is set. 0 when held, EWOULDBLOCK when still held
// elsewhere, ECANCELED when cancelled, else the errno of the failure.
int lock_exclusive(int fd, const LockWaitBound* wait);

// The process that holds an flock on the file open at `fd`, from /proc/locks; its program's name
// from /proc/PID/comm. Empty when it cannot be told.
LockHolder flock_holder(int fd);

}  // namespace corvane::os::posix
