// notify-listener SOCKET SECONDS
// The service manager's end of the notification protocol, for the install
// test: binds a datagram socket at SOCKET and prints each message it receives
// on a line of its own (the message's lines joined by '|'), until STOPPING=1
// arrives or SECONDS have passed. Exits 1 when it cannot listen.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: notify-listener SOCKET SECONDS\n");
        return 2;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(argv[1]);
    if (length >= sizeof(address.sun_path)) {
        std::fprintf(stderr, "notify-listener: socket path too long\n");
        return 1;
    }
    std::memcpy(address.sun_path, argv[1], length);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("notify-listener");
        return 1;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t size = recv(fd, buffer, sizeof buffer, 0);
        if (size <= 0) continue;
        std::string message(buffer, static_cast<std::size_t>(size));
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        for (char& c : message)
            if (c == '\n') c = '|';
        std::printf("%s\n", message.c_str());
        std::fflush(stdout);
        if (message.find("STOPPING=1") != std::string::npos) break;
    }
    close(fd);
    unlink(argv[1]);
    return 0;
}
