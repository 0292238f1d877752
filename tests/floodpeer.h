#pragma once

// The far end of a flood, run as a process of its own so that its work
// never shares the measured window's event loop. Plain blocking sockets on
// 127.0.0.1; every mode ends by itself. The tests and the benchmarks start
// their own executable again in one of these modes:
//
//   tcp-flood PORT MS           connect, write text lines for MS ms, close
//   tcp-serve-flood MS          listen, print "port N", accept one, flood
//   udp-flood PORT SIZE MS      send SIZE-byte datagrams of 'u' for MS ms
//
// Results are printed as "key value" lines: bytes, datagrams.

#include <QByteArray>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace floodpeer {

using Clock = std::chrono::steady_clock;

// The line a TCP flood repeats: 79 characters and a line feed. The stream
// is this line over and over, so a reader knows every byte of it.
inline QByteArray floodLine()
{
    return QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(3).left(79) + '\n';
}

// The first `bytes` bytes of a TCP flood.
inline QByteArray floodStream(qint64 bytes)
{
    const QByteArray line = floodLine();
    return line.repeated(int(bytes / line.size() + 1)).left(qsizetype(bytes));
}

inline sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(2);
    }
    return fd;
}

inline int acceptOne()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("listen");
        std::exit(2);
    }
    std::printf("port %u\n", unsigned(ntohs(address.sin_port)));
    std::fflush(stdout);
    const int fd = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    if (fd < 0) {
        std::perror("accept");
        std::exit(2);
    }
    return fd;
}

// Writes the flood line over and over, as fast as the reader takes it,
// until the time is up. A partial write goes on where it stopped, so the
// stream stays whole lines.
inline int floodTcp(int fd, int milliseconds)
{
    const QByteArray line = floodLine();
    const QByteArray block = line.repeated(int(64 * 1024 / line.size() + 1));
    // A send that blocks gives up after a while, so the time limit holds.
    const timeval wait{0, 100 * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    long long total = 0;
    qsizetype at = 0;
    while (Clock::now() < end) {
        const ssize_t written = ::send(fd, block.constData() + at, size_t(block.size() - at), MSG_NOSIGNAL);
        if (written > 0) {
            total += written;
            at = (at + written) % block.size();
        } else if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return 3;
        }
    }
    std::printf("bytes %lld\n", total);
    std::fflush(stdout);
    ::close(fd);
    return 0;
}

inline int floodUdp(quint16 port, int size, int milliseconds)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in address = loopback(port);
    const QByteArray datagram(size, 'u');
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    long long datagrams = 0;
    for (long long tries = 0;; ++tries) {
        if (tries % 64 == 0 && Clock::now() >= end)
            break;
        if (::sendto(fd, datagram.constData(), size_t(size), 0, reinterpret_cast<const sockaddr *>(&address),
                     sizeof address) == size)
            ++datagrams;
    }
    std::printf("datagrams %lld\n", datagrams);
    std::fflush(stdout);
    ::close(fd);
    return 0;
}

// Runs a flood mode (argv[0] is the mode); -1 when the mode is not a flood.
inline int runFlood(int argc, char **argv)
{
    const QByteArray mode = argc > 0 ? argv[0] : "";
    if (mode != "tcp-flood" && mode != "tcp-serve-flood" && mode != "udp-flood")
        return -1;
    // On a small machine a flood at full priority could starve the window
    // of CPU time, which would measure the scheduler instead of the window.
    ::setpriority(PRIO_PROCESS, 0, 10);
    auto number = [&](int i) { return i < argc ? std::atoll(argv[i]) : 0; };
    if (mode == "tcp-flood")
        return floodTcp(connectTo(quint16(number(1))), int(number(2)));
    if (mode == "tcp-serve-flood")
        return floodTcp(acceptOne(), int(number(1)));
    return floodUdp(quint16(number(1)), int(number(2)), int(number(3)));
}

} // namespace floodpeer
