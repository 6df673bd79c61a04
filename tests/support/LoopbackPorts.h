#pragma once

namespace test {

// A TCP port on 127.0.0.1 that was free a moment ago (0 when none could be had), for a
// server started as another process, which must be told its port before it listens.
int freeLoopbackPort();

// A connected TCP socket to 127.0.0.1:`port`, or -1 when nothing accepts there.
int connectToLoopback(int port);

// Whether something accepts connections on 127.0.0.1:`port` now.
bool acceptsConnections(int port);

}  // namespace test
