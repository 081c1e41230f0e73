#pragma once

// A port of 127.0.0.1 that nothing listens on now: the kernel's pick for a
// socket bound to port 0. 0 when there is none.
int freeLoopbackPort();
