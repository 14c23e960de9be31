// vmlab_relay: the wires between the lab machine's ports, outside the machine.
// QEMU writes to a port's chardev while it holds its big lock and retries until
// the bytes are taken, so the two ends of a wire must not both be chardevs of
// the same QEMU: one would wait for the other forever. This relay connects to
// both sockets of each pair and copies the bytes both ways.
//
//   vmlab_relay SOCKET_A:SOCKET_B ...
//
// Runs until one end of a wire closes (the machine has stopped); prints the
// bytes each wire carried.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int connectTo(const std::string& path) {
    for (int attempt = 0; attempt < 600; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

struct End {
    int fd = -1;
    std::string out; // bytes waiting to be written to this end
    long long carried = 0;
    std::string first; // the first bytes it sent, for the report
};

std::string printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

constexpr size_t Limit = 1 << 20; // read no more while this much waits

} // namespace

int main(int argc, char** argv) {
    std::vector<End> ends;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string pair = argv[i];
        const size_t colon = pair.find(':');
        if (colon == std::string::npos) {
            std::fprintf(stderr, "usage: vmlab_relay SOCKET_A:SOCKET_B ...\n");
            return 2;
        }
        for (const std::string& path : {pair.substr(0, colon), pair.substr(colon + 1)}) {
            End end;
            end.fd = connectTo(path);
            if (end.fd < 0) {
                std::fprintf(stderr, "vmlab_relay: cannot connect to %s\n", path.c_str());
                return 1;
            }
            ends.push_back(end);
            names.push_back(path);
        }
    }
    std::vector<pollfd> fds(ends.size());
    for (;;) {
        for (size_t i = 0; i < ends.size(); ++i) {
            End& peer = ends[i ^ 1];
            fds[i] = {
                ends[i].fd,
                short((peer.out.size() < Limit ? POLLIN : 0) | (ends[i].out.empty() ? 0 : POLLOUT)),
                0};
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return 1;
        for (size_t i = 0; i < ends.size(); ++i) {
            End& end = ends[i];
            End& peer = ends[i ^ 1];
            if (fds[i].revents & POLLIN) {
                char buffer[65536];
                const ssize_t n = ::read(end.fd, buffer, sizeof buffer);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    for (size_t k = 0; k < ends.size(); ++k)
                        std::fprintf(stderr, "vmlab_relay: %lld bytes from %s, first: %s\n",
                                     ends[k].carried, names[k].c_str(),
                                     printable(ends[k].first).c_str());
                    return 0;
                }
                if (n > 0) {
                    peer.out.append(buffer, size_t(n));
                    end.carried += n;
                    if (end.first.size() < 200)
                        end.first.append(buffer, std::min(size_t(n), 200 - end.first.size()));
                }
            }
            if (!end.out.empty() && (fds[i].revents & POLLOUT)) {
                const ssize_t n = ::write(end.fd, end.out.data(), end.out.size());
                if (n > 0)
                    end.out.erase(0, size_t(n));
            }
        }
    }
}
