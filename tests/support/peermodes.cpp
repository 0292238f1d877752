#include "peermodes.h"

#include "files.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// SIGTERM asks a listening peer to print what it has counted and exit.
volatile sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

void stopOnTerm()
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

quint16 boundPort(int fd)
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// Connects to 127.0.0.1:port, trying again for a few seconds while nothing
// listens yet; -1 when it never worked.
int connectTo(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const auto start = Clock::now();
    while (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (secondsSince(start) > 5) {
            std::perror("connect");
            close(fd);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fd;
}

// A listening socket on a port of the system's choice, announced as
// "port N" on stdout; -1 on failure.
int listenAnnounced()
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(0);
    if (listener < 0 || bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || listen(listener, 1) != 0) {
        std::perror("listen");
        return -1;
    }
    std::printf("port %u\n", unsigned(boundPort(listener)));
    std::fflush(stdout);
    return listener;
}

// Accepts one client within limitMs (negative: no limit); -1 on failure.
int acceptOne(int listener, int limitMs = -1)
{
    if (listener < 0)
        return -1;
    pollfd waiting {listener, POLLIN, 0};
    if (poll(&waiting, 1, limitMs) <= 0) {
        close(listener);
        return -1;
    }
    const int fd = accept(listener, nullptr, nullptr);
    close(listener);
    if (fd < 0)
        std::perror("accept");
    return fd;
}

bool sendAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Produces the bytes of one source in pieces of any size.
class Source final
{
public:
    explicit Source(const std::string &kind)
        : m_kind(kind)
    {
        if (m_kind.rfind("file:", 0) == 0)
            m_fd = open(m_kind.c_str() + 5, O_RDONLY | O_CLOEXEC);
    }
    ~Source()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(Source)

    bool valid() const { return m_kind == "text" || m_kind == "random" || m_fd >= 0; }

    // Fills `size` bytes; false when the source ran dry.
    bool fill(char *out, size_t size)
    {
        if (m_fd >= 0) {
            while (size > 0) {
                const ssize_t n = read(m_fd, out, size);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return false;
                out += n;
                size -= size_t(n);
            }
            return true;
        }
        if (m_kind == "random") {
            for (size_t i = 0; i < size; i += 8) {
                const std::uint64_t value = m_random();
                std::memcpy(out + i, &value, std::min<size_t>(8, size - i));
            }
            return true;
        }
        for (size_t i = 0; i < size; ++i) {
            if (m_column == 79) {
                out[i] = '\n';
                m_column = 0;
                ++m_line;
                continue;
            }
            // Every line starts with its number, so no two lines look alike.
            if (m_column == 0)
                std::snprintf(m_number, sizeof m_number, "%08llu ", static_cast<unsigned long long>(m_line));
            out[i] = m_column < 9 ? m_number[m_column] : char('a' + (m_column + m_line) % 26);
            ++m_column;
        }
        return true;
    }

private:
    std::string m_kind;
    int m_fd = -1;
    std::mt19937_64 m_random {20240611};
    int m_column = 0;
    unsigned long long m_line = 0;
    char m_number[32] = {};
};

int tcpSend(const QStringList &args)
{
    if (args.size() != 4)
        return 2;
    Source source(args.at(1).toStdString());
    const long long total = args.at(2).toLongLong();
    const size_t writeSize = size_t(args.at(3).toULongLong());
    if (!source.valid() || writeSize == 0)
        return 2;
    const auto start = Clock::now();
    const int fd = connectTo(quint16(args.at(0).toUInt()));
    if (fd < 0)
        return 1;
    std::vector<char> buffer(writeSize);
    long long sent = 0;
    while (sent < total) {
        const size_t piece = size_t(std::min<long long>(total - sent, (long long)writeSize));
        if (!source.fill(buffer.data(), piece) || !sendAll(fd, buffer.data(), piece))
            break;
        sent += (long long)piece;
    }
    close(fd); // the kernel still delivers what is queued
    std::printf("sent %lld\nseconds %.6f\n", sent, secondsSince(start));
    return sent == total ? 0 : 1;
}

// Sends the "text" source at RATE bytes a second for SECONDS, paced against
// the clock in steps of about a millisecond, and closes.
int tcpPaced(const QStringList &args)
{
    if (args.size() != 3)
        return 2;
    const double rate = args.at(1).toDouble();
    const double limit = args.at(2).toDouble();
    Source source("text");
    const int fd = connectTo(quint16(args.at(0).toUInt()));
    if (fd < 0 || rate <= 0)
        return 1;
    const long long total = (long long)(rate * limit);
    std::vector<char> buffer(64 * 1024);
    long long sent = 0;
    bool fine = true;
    const auto start = Clock::now();
    while (fine && !stopRequested && sent < total) {
        const long long due = std::min(total, (long long)(secondsSince(start) * rate));
        while (fine && sent < due) {
            const size_t piece = size_t(std::min<long long>(due - sent, (long long)buffer.size()));
            fine = source.fill(buffer.data(), piece) && sendAll(fd, buffer.data(), piece);
            sent += fine ? (long long)piece : 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    close(fd);
    std::printf("sent %lld\nseconds %.6f\n", sent, secondsSince(start));
    return sent == total ? 0 : 1;
}

// Sends randomBytes(size, seed) in 64 KiB writes and closes.
int sendSeeded(int fd, qsizetype size, quint32 seed)
{
    if (fd < 0)
        return 2;
    const QByteArray bytes = randomBytes(size, seed);
    constexpr qsizetype Write = 64 * KiB;
    for (qsizetype at = 0; at < bytes.size(); at += Write) {
        if (!sendAll(fd, bytes.constData() + at, size_t(std::min(Write, bytes.size() - at))))
            return 3;
    }
    std::printf("bytes %lld\n", static_cast<long long>(bytes.size()));
    close(fd);
    return 0;
}

// The line a TCP flood repeats: 79 characters and a line feed.
QByteArray floodLine()
{
    return QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(3).left(79) + '\n';
}

} // namespace

QByteArray floodStream(qint64 bytes)
{
    const QByteArray line = floodLine();
    return line.repeated(int(bytes / line.size() + 1)).left(qsizetype(bytes));
}

namespace {

// Writes the flood line over and over, as fast as the reader takes it,
// until the time is up. A partial write goes on where it stopped, so the
// stream stays whole lines.
int floodTcp(int fd, int milliseconds)
{
    if (fd < 0)
        return 2;
    const QByteArray line = floodLine();
    const QByteArray block = line.repeated(int(64 * 1024 / line.size() + 1));
    // A send that blocks gives up after a while, so the time limit holds.
    const timeval wait {0, 100 * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    long long total = 0;
    qsizetype at = 0;
    while (Clock::now() < end) {
        const ssize_t written = send(fd, block.constData() + at, size_t(block.size() - at), MSG_NOSIGNAL);
        if (written > 0) {
            total += written;
            at = (at + written) % block.size();
        } else if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return 3;
        }
    }
    std::printf("bytes %lld\n", total);
    std::fflush(stdout);
    close(fd);
    return 0;
}

int floodUdp(quint16 port, int size, int milliseconds)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const QByteArray datagram(size, 'u');
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    long long datagrams = 0;
    for (long long tries = 0;; ++tries) {
        if (tries % 64 == 0 && Clock::now() >= end)
            break;
        if (sendto(fd, datagram.constData(), size_t(size), 0, reinterpret_cast<const sockaddr *>(&address),
                   sizeof address)
            == size)
            ++datagrams;
    }
    std::printf("datagrams %lld\n", datagrams);
    std::fflush(stdout);
    close(fd);
    return 0;
}

int udpRecv(const QStringList &args)
{
    if (args.size() != 2)
        return 2;
    const long long expected = args.at(0).toLongLong();
    const double limit = args.at(1).toDouble();

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int bufferSize = 8 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    const sockaddr_in address = loopback(0);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return 1;
    std::printf("port %u\n", boundPort(fd));
    std::fflush(stdout);

    std::vector<char> buffer(65536);
    long long bytes = 0;
    long long datagrams = 0;
    long long fullSize = 0;
    const auto start = Clock::now();
    auto first = start;
    auto last = start;
    while (!stopRequested && bytes < expected && secondsSince(start) < limit) {
        pollfd waiting {fd, POLLIN, 0};
        if (poll(&waiting, 1, 100) <= 0) {
            if (datagrams > 0 && secondsSince(last) > 3)
                break;
            continue;
        }
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0)
            continue;
        last = Clock::now();
        if (datagrams == 0)
            first = last;
        ++datagrams;
        bytes += n;
        if (n == 1024)
            ++fullSize;
    }
    close(fd);
    std::printf("datagrams %lld\nbytes %lld\nfull %lld\nspan %.6f\n", datagrams, bytes, fullSize,
                std::chrono::duration<double>(last - first).count());
    return 0;
}

int slowRead(const QStringList &args)
{
    if (args.size() != 2)
        return 2;
    const double rate = args.at(0).toDouble();
    const double limit = args.at(1).toDouble();
    const auto start = Clock::now();
    const int fd = acceptOne(listenAnnounced(), int(limit * 1000));
    if (fd < 0)
        return 1;

    // Reads in 1/16 s slices, never ahead of RATE bytes per second since
    // the client arrived.
    const auto accepted = Clock::now();
    std::vector<char> buffer(1024 * 1024);
    long long got = 0;
    bool open = true;
    while (!stopRequested && open && secondsSince(start) < limit) {
        const double allowed = rate * secondsSince(accepted);
        if (double(got) >= allowed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(62));
            continue;
        }
        const size_t want = size_t(std::min<double>(double(buffer.size()), allowed - double(got) + 1));
        pollfd readable {fd, POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0)
            continue;
        const ssize_t n = recv(fd, buffer.data(), want, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            open = false;
        else
            got += n;
    }
    close(fd);
    std::printf("read %lld\nseconds %.6f\n", got, secondsSince(accepted));
    return 0;
}

// Sends SIZE-byte datagrams at RATE a second for SECONDS, each one to every
// port given, paced against the clock in steps of about 100 µs.
int udpPaced(const QStringList &args)
{
    if (args.size() < 4)
        return 2;
    const double rate = args.at(0).toDouble();
    const double limit = args.at(1).toDouble();
    const int size = args.at(2).toInt();
    std::vector<sockaddr_in> targets;
    for (const QString &port : args.mid(3))
        targets.push_back(loopback(quint16(port.toUInt())));
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::vector<char> payload(size_t(qMax(0, size)));
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = char('0' + i % 64);
    const long long total = (long long)(rate * limit);
    long long sent = 0;
    const auto start = Clock::now();
    while (!stopRequested && sent < total) {
        const long long due = qMin(total, (long long)(secondsSince(start) * rate) + 1);
        for (; sent < due; ++sent) {
            // The datagram's number leads it, so a reader could tell which were lost.
            char number[16];
            std::snprintf(number, sizeof number, "%09lld", sent % 1000000000);
            std::memcpy(payload.data(), number, qMin<size_t>(9, payload.size()));
            for (const sockaddr_in &target : targets)
                sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr *>(&target),
                       sizeof target);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    close(fd);
    std::printf("sent %lld\nseconds %.6f\n", sent, secondsSince(start));
    return 0;
}

// Opens COUNT connections in waves of WAVE, giving each wave up to 100 ms to
// connect, and prints "opened COUNT"; holds them all until SIGTERM or
// SECONDS, then closes them all at once. Each sends "c" once connected: a
// connection that the server answered with a SYN cookie while its queue was
// full exists only at this end until its first segment gets through.
int tcpHold(const QStringList &args)
{
    if (args.size() != 4)
        return 2;
    const sockaddr_in address = loopback(quint16(args.at(0).toUInt()));
    const int count = args.at(1).toInt();
    const int wave = std::max(1, args.at(2).toInt());
    const double limit = args.at(3).toDouble();
    // The caller may run under a low limit of its own.
    rlimit files {};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    const auto start = Clock::now();
    std::vector<pollfd> fds;
    // Sends "c" on the connections that have connected; false once every
    // connection has.
    const auto greet = [&fds](int waitMs) {
        if (poll(fds.data(), fds.size(), waitMs) > 0) {
            for (pollfd &p : fds) {
                if (p.revents == POLLOUT)
                    send(p.fd, "c", 1, MSG_NOSIGNAL);
                if (p.revents != 0)
                    p.events = 0;
            }
        }
        return std::any_of(fds.begin(), fds.end(), [](const pollfd &p) { return p.events != 0; });
    };
    while (int(fds.size()) < count) {
        for (int i = 0; i < wave && int(fds.size()) < count; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0 || (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
                           && errno != EINPROGRESS)) {
                std::perror("connect");
                return 1;
            }
            fds.push_back({fd, POLLOUT, 0});
        }
        // Connections beyond the server's queue stay in progress.
        const auto waveEnd = Clock::now() + std::chrono::milliseconds(100);
        while (Clock::now() < waveEnd && greet(10)) {
        }
    }
    std::printf("opened %d\n", count);
    std::fflush(stdout);
    while (!stopRequested && secondsSince(start) < limit) {
        if (!greet(10))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (const pollfd &p : fds)
        close(p.fd);
    return 0;
}

} // namespace

int runPeerMode(const QStringList &args)
{
    if (args.isEmpty())
        return 2;
    stopOnTerm();
    const QString mode = args.first();
    const QStringList rest = args.mid(1);
    auto number = [&](int i) { return rest.value(i).toLongLong(); };
    // Senders that push as fast as they can run below the window's priority:
    // on a small machine they could starve it of CPU time otherwise.
    const bool pushes = mode.startsWith(QLatin1String("tcp-serve")) || mode.endsWith(QLatin1String("-flood"))
                        || mode == QLatin1String("tcp-send-seeded");
    if (pushes)
        ::setpriority(PRIO_PROCESS, 0, 10);
    if (mode == QLatin1String("tcp-send"))
        return tcpSend(rest);
    if (mode == QLatin1String("tcp-paced"))
        return tcpPaced(rest);
    if (mode == QLatin1String("tcp-send-seeded"))
        return sendSeeded(connectTo(quint16(number(0))), number(1), quint32(number(2)));
    if (mode == QLatin1String("tcp-serve-seeded"))
        return sendSeeded(acceptOne(listenAnnounced()), number(0), quint32(number(1)));
    if (mode == QLatin1String("tcp-flood"))
        return floodTcp(connectTo(quint16(number(0))), int(number(1)));
    if (mode == QLatin1String("tcp-serve-flood"))
        return floodTcp(acceptOne(listenAnnounced()), int(number(0)));
    if (mode == QLatin1String("udp-flood"))
        return floodUdp(quint16(number(0)), int(number(1)), int(number(2)));
    if (mode == QLatin1String("udp-recv"))
        return udpRecv(rest);
    if (mode == QLatin1String("slow-read"))
        return slowRead(rest);
    if (mode == QLatin1String("udp-paced"))
        return udpPaced(rest);
    if (mode == QLatin1String("tcp-hold"))
        return tcpHold(rest);
    std::fprintf(stderr, "unknown peer mode %s\n", qPrintable(mode));
    return 2;
}

int runPeerModeIfAsked(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--peer") != 0)
        return -1;
    QStringList args;
    for (int i = 2; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return runPeerMode(args);
}

} // namespace testsupport
