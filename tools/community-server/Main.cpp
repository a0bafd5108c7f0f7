// orvanta-community-server [--port N] [--data DIR]
//
// Serves the update endpoint and the first-run notice on 127.0.0.1. Port 0
// (the default) takes a free port. The first line printed is
// "Listening on http://127.0.0.1:<port>"; then one line per request.
// SIGTERM or SIGINT stops the server cleanly.

#include "CommunityServer.h"
#include "FirstRunService.h"
#include "UpdateService.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

namespace {

struct Options {
    int port = 0;
    std::string dataDirectory = ".";
};

bool ParsePort(const std::string& text, int& port) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 65535) {
        return false;
    }
    port = static_cast<int>(value);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--port") {
            if (!ParsePort(value, options.port)) {
                return false;
            }
        } else if (arg == "--data") {
            options.dataDirectory = value;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << "usage: " << argv[0] << " [--port N] [--data DIR]\n";
        return 2;
    }

    // The signals are taken by one thread that stops the server; every other
    // thread (the server's workers included) inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    community::CommunityServer server(std::cout);
    server.AddService(std::make_unique<community::UpdateService>(options.dataDirectory));
    server.AddService(std::make_unique<community::FirstRunService>());
    if (server.Bind(options.port) < 0) {
        std::cerr << "cannot listen on " << community::kLoopback << ":" << options.port << "\n";
        return 1;
    }
    std::cout << "Listening on " << server.BaseUrl() << std::endl;

    // A signal that comes before the server listens must still stop it, so
    // the stopper keeps asking until Run() has returned.
    std::atomic<bool> finished{false};
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        while (!finished) {
            server.Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const bool ran = server.Run();
    finished = true;
    pthread_kill(stopper.native_handle(), SIGTERM); // wakes a stopper still waiting
    stopper.join();
    return ran ? 0 : 1;
}
