#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace lumo::service {

// One reported usage event, decoded, in the order the client sends the fields.
struct UsageEvent {
    std::string type;
    std::string version;
    std::string platform;
    std::string app;
    std::string page;
    std::string block;
    std::string action;
    std::string info;
};

// The SQLite file that keeps every feedback text and usage event. Safe to use
// from the server's worker threads: one connection, serialised by a mutex,
// prepared statements only.
class EventStore {
public:
    // Opens (creating when needed) the database at `path`. Returns nullptr and
    // a reason when the file cannot be opened or is not a usable database.
    static std::unique_ptr<EventStore> Open(const std::string &path, std::string &error);
    ~EventStore();

    EventStore(const EventStore &) = delete;
    EventStore &operator=(const EventStore &) = delete;

    // Each returns the new row id, or -1 with `error` set.
    std::int64_t AddFeedback(const std::string &text, const std::string &remoteAddr, std::string &error);
    std::int64_t AddUsageEvent(const UsageEvent &event, const std::string &remoteAddr, std::string &error);

private:
    EventStore() = default;
    std::int64_t RunInsert(sqlite3_stmt *stmt, std::string &error);

    std::mutex mutex_;
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *insertFeedback_ = nullptr;
    sqlite3_stmt *insertEvent_ = nullptr;
};

}  // namespace lumo::service
