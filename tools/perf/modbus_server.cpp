// Tiny Modbus/TCP server on libmodbus, the reference of the end-to-end
// comparison: one client at a time, every coil and holding register there.
//
//   modbus_server [--port 15502] [--seconds 600]
//
// It stops by itself after --seconds (a benchmark never leaves it behind).
#include <modbus.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int AREA_ELEMENTS = 65536;

struct SOptions {
    int port = 15502;
    double seconds = 600;
};

SOptions ParseOptions(int argc, char** argv)
{
    SOptions o;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--port") == 0) {
            o.port = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            o.seconds = std::atof(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: modbus_server [--port P] [--seconds S]\n");
            std::exit(2);
        }
    }
    return o;
}

// True when the socket became readable within the time left.
bool WaitReadable(int fd, double secondsLeft)
{
    if (secondsLeft <= 0) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval limit{static_cast<time_t>(secondsLeft), 0};
    if (limit.tv_sec == 0) limit.tv_usec = 100000;
    return select(fd + 1, &set, nullptr, nullptr, &limit) > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const SOptions options = ParseOptions(argc, argv);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.seconds);
    auto left = [&] { return std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count(); };

    modbus_t* ctx = modbus_new_tcp("127.0.0.1", options.port);
    modbus_mapping_t* map = modbus_mapping_new(AREA_ELEMENTS, 0, AREA_ELEMENTS, 0);
    if (!ctx || !map) {
        std::fprintf(stderr, "modbus_server: %s\n", modbus_strerror(errno));
        return 1;
    }
    for (int i = 0; i < AREA_ELEMENTS; ++i) {
        map->tab_registers[i] = static_cast<uint16_t>(i * 7);
        map->tab_bits[i] = static_cast<uint8_t>(i % 3 == 0);
    }
    int listener = modbus_tcp_listen(ctx, 1);
    if (listener < 0) {
        std::fprintf(stderr, "modbus_server: listen on %d: %s\n", options.port, modbus_strerror(errno));
        return 1;
    }
    std::printf("modbus_server listening on 127.0.0.1:%d\n", options.port);
    std::fflush(stdout);

    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (left() > 0) {
        if (!WaitReadable(listener, left())) continue;
        int client = modbus_tcp_accept(ctx, &listener);
        if (client < 0) continue;
        // Serve this client until it goes (or time is up): libmodbus's own
        // receive and reply, nothing else on the way. The indication
        // time-out only lets the deadline be checked now and then.
        modbus_set_indication_timeout(ctx, 1, 0);
        while (left() > 0) {
            int n = modbus_receive(ctx, query);
            if (n > 0) {
                modbus_reply(ctx, query, n, map);
            } else if (n < 0 && errno != ETIMEDOUT) {
                break;  // closed or broken
            }
        }
        close(client);
        modbus_set_socket(ctx, -1);
    }
    close(listener);
    modbus_mapping_free(map);
    modbus_free(ctx);
    return 0;
}
