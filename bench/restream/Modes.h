// The benchmark's modes, each a run of its own over a fresh CBenchRig. Each returns
// the process's exit code: 0 when the run met its aims, 2 when it missed one, 1 when
// it could not run.
#pragma once

// Four clients per camera (two ffmpeg, two gst-launch-1.0) for seconds, after the same
// time without clients: pictures received, recorders' drops, CPU added per client.
int RunClientsMode(int seconds);
// An in-process decoding client: capture-to-decoded delay over seconds, and the time
// to the first picture over connects new connections. jitterMs: rtspsrc's latency.
int RunLatencyMode(int seconds, int connects, int jitterMs);
// A client that stops reading for stallSeconds while three others keep receiving.
int RunStallMode(int stallSeconds);
// cycles connections, most of them short, wrong or malformed; onlyKind 0 to 9 makes
// them all of that one kind (to find which kind costs memory), -1 mixes them.
int RunChurnMode(int cycles, int onlyKind);
