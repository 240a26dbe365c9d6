// lumo-service: local stand-in for the YuvLumo web service.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "service/EventStore.h"
#include "service/LumoService.h"
#include "service/ServiceOptions.h"

using lumo::service::EventStore;
using lumo::service::LumoService;
using lumo::service::ServiceOptions;

int main(int argc, char **argv)
{
    const std::string program = argc > 0 ? argv[0] : "lumo-service";
    ServiceOptions options;
    std::string error;
    if (!ServiceOptions::Parse(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << program << ": " << error << "\n" << ServiceOptions::Usage(program);
        return 2;
    }
    if (options.help) {
        std::cout << ServiceOptions::Usage(program);
        return 0;
    }

    // Block the stop signals in every thread (the server's workers inherit
    // the mask); one thread waits for them and stops the server cleanly.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A client that hangs up mid-reply must not end the process.
    signal(SIGPIPE, SIG_IGN);

    // The port first: a second service on a taken port must not create or
    // touch the first one's database.
    LumoService service(options);
    const int port = service.Bind();
    if (port < 0) {
        std::cerr << program << ": cannot listen on 127.0.0.1:" << options.port << std::endl;
        return 1;
    }
    std::unique_ptr<EventStore> store = EventStore::Open(options.dbPath, error);
    if (!store) {
        std::cerr << program << ": cannot use database '" << options.dbPath << "': " << error << std::endl;
        return 1;
    }
    std::cout << "listening on 127.0.0.1:" << port << std::endl;

    std::atomic<bool> stopping{false};
    std::atomic<bool> runDone{false};
    std::thread signalThread([&] {
        int signalNumber = 0;
        sigwait(&stopSignals, &signalNumber);
        stopping = true;
        // A stop before the server has started its accept loop is lost, so
        // repeat it until the loop has ended.
        while (!runDone) {
            service.Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    const bool served = service.Run(*store);
    runDone = true;
    if (!stopping) {
        // The server ended by itself: wake the waiting thread.
        pthread_kill(signalThread.native_handle(), SIGTERM);
    }
    signalThread.join();
    if (!served && !stopping) {
        std::cerr << program << ": the server stopped unexpectedly" << std::endl;
        return 1;
    }
    return 0;
}
