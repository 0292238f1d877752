#include "benchpeer.h"

#include "floodpeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

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
    explicit Source(const std::string &kind) : m_kind(kind)
    {
        if (m_kind.rfind("file:", 0) == 0)
            m_fd = open(m_kind.c_str() + 5, O_RDONLY | O_CLOEXEC);
    }
    ~Source()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    bool valid() const
    {
        return m_kind == "text" || m_kind == "random" || m_fd >= 0;
    }

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
    const quint16 port = quint16(args.at(0).toUInt());
    Source source(args.at(1).toStdString());
    const long long total = args.at(2).toLongLong();
    const size_t writeSize = size_t(args.at(3).toULongLong());
    if (!source.valid() || writeSize == 0)
        return 2;

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const auto start = Clock::now();
    while (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (secondsSince(start) > 5) {
            std::perror("connect");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    std::vector<char> buffer(writeSize);
    long long sent = 0;
    while (sent < total) {
        const size_t piece = size_t(std::min<long long>(total - sent, (long long)writeSize));
        if (!source.fill(buffer.data(), piece))
            break;
        if (!sendAll(fd, buffer.data(), piece))
            break;
        sent += (long long)piece;
    }
    close(fd); // the kernel still delivers what is queued
    std::printf("sent %lld\nseconds %.6f\n", sent, secondsSince(start));
    return sent == total ? 0 : 1;
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

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(0);
    if (bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 || listen(listener, 1) != 0)
        return 1;
    std::printf("port %u\n", boundPort(listener));
    std::fflush(stdout);

    const auto start = Clock::now();
    pollfd waiting {listener, POLLIN, 0};
    if (poll(&waiting, 1, int(limit * 1000)) <= 0)
        return 1;
    const int fd = accept(listener, nullptr, nullptr);
    close(listener);
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

} // namespace

int runPeer(const QStringList &args)
{
    if (args.isEmpty())
        return 2;
    stopOnTerm();
    std::vector<QByteArray> words;
    for (const QString &arg : args)
        words.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    const int flood = floodpeer::runFlood(int(argv.size()), argv.data());
    if (flood >= 0)
        return flood;
    const QString mode = args.first();
    const QStringList rest = args.mid(1);
    if (mode == QLatin1String("tcp-send"))
        return tcpSend(rest);
    if (mode == QLatin1String("udp-recv"))
        return udpRecv(rest);
    if (mode == QLatin1String("slow-read"))
        return slowRead(rest);
    if (mode == QLatin1String("udp-paced"))
        return udpPaced(rest);
    return 2;
}
