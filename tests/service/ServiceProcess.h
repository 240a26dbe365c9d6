#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Runs the real lumo-service binary for a test: on a free loopback port,
// found from the line it prints on standard output.
class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    // Starts the binary with `args` (add "--port", "0" to get a free port).
    // Waits up to 10 s for "listening on 127.0.0.1:PORT". False with `error`
    // when the process failed to start or exited first.
    bool Start(const std::vector<std::string> &args, std::string &error);

    int Port() const { return port_; }
    // True while the process has not exited.
    bool Running();
    // Sends SIGTERM and waits up to 10 s (then SIGKILL). Returns the exit
    // status, 128 + signal when killed, or -1 when nothing was running.
    int Stop();

    // Runs the binary to completion with `args`; returns its exit status and
    // its standard output.
    static int RunToExit(const std::vector<std::string> &args, std::string &output);

private:
    int WaitExit(int timeoutMs);

    pid_t pid_ = -1;
    int port_ = -1;
    int exitStatus_ = -1;
};

// A plain TCP connection to 127.0.0.1:`port`, or -1. With `sendTimeoutMs`
// over 0, a send that cannot go out gives up after that long.
int ConnectLoopback(int port, int sendTimeoutMs = 0);

// One HTTP exchange over a plain socket, for requests no well-behaved client
// would send. Returns everything the server wrote until it closed (or 10 s).
std::string RawExchange(int port, const std::string &request);
// The status code of a raw reply, or -1.
int RawStatus(const std::string &reply);
// The body of a raw reply (after the blank line).
std::string RawBody(const std::string &reply);

// The desktop client's form encoding: unreserved bytes kept, every other
// byte as "%" and two upper-case hex digits.
std::string Encode(const std::string &text);

// The test's scratch folder (LUMO_TEST_TMP, else /tmp).
std::string TmpDir();

// Rows of `sql` on the SQLite file at `path`, every column as text ("<null>"
// for NULL). Also used on ":memory:" to read JSON with SQLite's json functions.
std::vector<std::vector<std::string>> Query(const std::string &path, const std::string &sql,
                                            const std::vector<std::string> &params = {});
