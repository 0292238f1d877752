#pragma once

#include <QByteArray>
#include <QStringList>

// The far end of a link run as a process of its own, so that its work never
// shares the window's event loop or its CPU time: the tests and the
// benchmark start their own executable again with "--peer MODE ARGS...".
// Plain blocking sockets on 127.0.0.1 only; every mode ends by itself, and
// SIGTERM asks a listening mode to print what it counted and exit.
//
//   tcp-send PORT SOURCE BYTES WRITE   connect and send BYTES in WRITE-byte
//       writes; SOURCE is "text" (numbered lines of 79 characters and a line
//       feed), "random" (a fixed-seed stream) or "file:PATH" (that file)
//   tcp-paced PORT RATE SECONDS        connect and send the "text" source
//       at RATE bytes a second for SECONDS, paced against the clock
//   tcp-send-seeded PORT BYTES SEED    connect, send randomBytes(BYTES, SEED)
//   tcp-serve-seeded BYTES SEED        listen, print "port N", accept one,
//       send randomBytes(BYTES, SEED), close
//   tcp-flood PORT MS                  connect, write text lines for MS ms
//   tcp-serve-flood MS                 listen, print "port N", accept one,
//       write text lines for MS ms
//   udp-flood PORT SIZE MS             send SIZE-byte datagrams for MS ms
//   udp-paced RATE SECONDS SIZE PORT...  send SIZE-byte datagrams at RATE a
//       second for SECONDS, each to every PORT
//   udp-recv BYTES SECONDS             bind, print "port N", count datagrams
//       until BYTES arrived, 3 s pass without one, or SECONDS end
//   tcp-hold PORT COUNT WAVE SECONDS   open COUNT connections in waves of
//       WAVE, each sending "c" once connected, print "opened COUNT", hold
//       them until SIGTERM or SECONDS
//   slow-read RATE SECONDS             listen, print "port N", accept one and
//       read RATE bytes a second until it closes or SECONDS end
//
// Results are printed on stdout as "key value" lines.
namespace testsupport {

// The first `bytes` bytes of what tcp-flood and tcp-serve-flood write: a
// line of 79 characters and a line feed over and over.
QByteArray floodStream(qint64 bytes);

// Runs a mode (args[0] is its name); 2 for a mode or arguments it does not know.
int runPeerMode(const QStringList &args);

// Runs a mode when argv asks for one ("--peer MODE ARGS..."), else -1.
int runPeerModeIfAsked(int argc, char **argv);

} // namespace testsupport
