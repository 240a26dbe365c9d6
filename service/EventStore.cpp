#include "service/EventStore.h"

#include <sqlite3.h>

namespace lumo::service {

namespace {

const char *const kSchema =
    "CREATE TABLE IF NOT EXISTS feedback ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " received_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),"
    " remote_addr TEXT NOT NULL,"
    " text TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS usage_event ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " received_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),"
    " remote_addr TEXT NOT NULL,"
    " \"type\" TEXT NOT NULL, \"version\" TEXT NOT NULL, \"platform\" TEXT NOT NULL,"
    " \"app\" TEXT NOT NULL, \"page\" TEXT NOT NULL, \"block\" TEXT NOT NULL,"
    " \"action\" TEXT NOT NULL, \"info\" TEXT NOT NULL);";

bool BindText(sqlite3_stmt *stmt, int index, const std::string &value)
{
    return sqlite3_bind_text(stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

}  // namespace

std::unique_ptr<EventStore> EventStore::Open(const std::string &path, std::string &error)
{
    std::unique_ptr<EventStore> store(new EventStore);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &store->db_, flags, nullptr) != SQLITE_OK) {
        error = store->db_ ? sqlite3_errmsg(store->db_) : "out of memory";
        return nullptr;
    }
    // Another process (a test, the sqlite3 shell) may read the file while we write.
    sqlite3_busy_timeout(store->db_, 2000);

    char *message = nullptr;
    if (sqlite3_exec(store->db_, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
        error = message ? message : sqlite3_errmsg(store->db_);
        sqlite3_free(message);
        return nullptr;
    }
    if (sqlite3_prepare_v2(store->db_, "INSERT INTO feedback (remote_addr, text) VALUES (?1, ?2)", -1,
                           &store->insertFeedback_, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(store->db_,
                           "INSERT INTO usage_event (remote_addr, \"type\", \"version\", \"platform\", \"app\","
                           " \"page\", \"block\", \"action\", \"info\")"
                           " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                           -1, &store->insertEvent_, nullptr) != SQLITE_OK) {
        // A file with tables of the same name but another shape ends here.
        error = sqlite3_errmsg(store->db_);
        return nullptr;
    }
    return store;
}

EventStore::~EventStore()
{
    sqlite3_finalize(insertFeedback_);
    sqlite3_finalize(insertEvent_);
    sqlite3_close(db_);
}

std::int64_t EventStore::RunInsert(sqlite3_stmt *stmt, std::string &error)
{
    const int rc = sqlite3_step(stmt);
    std::int64_t id = -1;
    if (rc == SQLITE_DONE) {
        id = sqlite3_last_insert_rowid(db_);
    } else {
        error = sqlite3_errmsg(db_);
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return id;
}

std::int64_t EventStore::AddFeedback(const std::string &text, const std::string &remoteAddr, std::string &error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!BindText(insertFeedback_, 1, remoteAddr) || !BindText(insertFeedback_, 2, text)) {
        error = sqlite3_errmsg(db_);
        sqlite3_reset(insertFeedback_);
        sqlite3_clear_bindings(insertFeedback_);
        return -1;
    }
    return RunInsert(insertFeedback_, error);
}

std::int64_t EventStore::AddUsageEvent(const UsageEvent &event, const std::string &remoteAddr, std::string &error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string *values[] = {&remoteAddr,  &event.type, &event.version, &event.platform, &event.app,
                                   &event.page, &event.block, &event.action, &event.info};
    for (int i = 0; i < 9; ++i) {
        if (!BindText(insertEvent_, i + 1, *values[i])) {
            error = sqlite3_errmsg(db_);
            sqlite3_reset(insertEvent_);
            sqlite3_clear_bindings(insertEvent_);
            return -1;
        }
    }
    return RunInsert(insertEvent_, error);
}

}  // namespace lumo::service
