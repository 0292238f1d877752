#pragma once

#include <QStringList>

// The far end of a benchmark link, run as a process of its own so that it
// never shares the measured window's event loop or its CPU time. Plain
// blocking sockets on 127.0.0.1 only; every mode ends by itself.
//
//   tcp-send PORT SOURCE BYTES WRITE   connect and send BYTES in WRITE-byte
//       writes; SOURCE is "text" (lines of 79 characters and a line feed),
//       "random" (a fixed-seed stream) or "file:PATH" (that file's bytes)
//   udp-recv BYTES SECONDS             bind a port, print "port N", count
//       datagrams until BYTES arrived, 3 s pass without one, or SECONDS end
//   slow-read RATE SECONDS             listen, print "port N", accept one
//       client and read RATE bytes per second until it closes or SECONDS end
//   and the flood modes of tests/floodpeer.h (tcp-flood, tcp-serve-flood,
//   udp-flood)
//   udp-paced RATE SECONDS SIZE PORT...  send SIZE-byte datagrams at RATE a
//       second for SECONDS, each to every PORT
//
// Results are printed on stdout as "key value" lines.
int runPeer(const QStringList &args);
