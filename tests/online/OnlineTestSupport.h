#pragma once

// Test support for the online windows: the real lumo-service on a free
// loopback port with its own database, a scripted fake service, the events
// the service stored, and the message boxes shown meanwhile.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <QApplication>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QtGlobal>

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ServiceUrl.h"

#ifndef LUMO_SERVICE_BINARY
#error "LUMO_SERVICE_BINARY must name the lumo-service executable"
#endif

// Readable test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PointClientAt(int port)
{
    qputenv("LUMO_SERVICE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
}

// A loopback port nothing listens on (bound, then released).
inline int UnusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

// The lumo-service executable with a fresh database in the test's scratch
// folder, the client pointed at it.
class ServiceRunner {
public:
    explicit ServiceRunner(const QString& latestVersion = QStringLiteral("2.2.1"), const QStringList& extra = {})
        : dir_(QDir(qEnvironmentVariable("LUMO_TEST_TMP", QDir::tempPath())).filePath(QStringLiteral("svc-XXXXXX")))
    {
        dbPath_ = dir_.filePath(QStringLiteral("lumo.db"));
        process_.setProgram(QStringLiteral(LUMO_SERVICE_BINARY));
        process_.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                                          dbPath_, QStringLiteral("--latest-version"), latestVersion,
                                          QStringLiteral("--quiet")} +
                              extra);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(10000))
            return;
        QByteArray out;
        const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"));
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            const QRegularExpressionMatch m = listening.match(QString::fromUtf8(out));
            if (m.hasMatch()) {
                port_ = m.captured(1).toInt();
                break;
            }
            process_.waitForReadyRead(100);
            out += process_.readAllStandardOutput();
        }
        if (port_ > 0)
            PointClientAt(port_);
    }
    ~ServiceRunner()
    {
        process_.terminate();
        if (!process_.waitForFinished(10000))
            process_.kill();
        process_.waitForFinished(1000);
        RestoreServiceUrl();
    }
    ServiceRunner(const ServiceRunner&) = delete;
    ServiceRunner& operator=(const ServiceRunner&) = delete;

    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

    // Every row of `sql` on the service's database, columns as text.
    std::vector<std::vector<std::string>> Query(const std::string& sql) const
    {
        std::vector<std::vector<std::string>> rows;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(dbPath_.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return rows;
        }
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                std::vector<std::string> row;
                for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                    const auto* text = sqlite3_column_text(stmt, i);
                    row.emplace_back(text ? reinterpret_cast<const char*>(text) : "",
                                     static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
                }
                rows.push_back(std::move(row));
            }
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return rows;
    }
    // Usage events in arrival order: type, version, platform, app, page,
    // block, action, info.
    std::vector<std::vector<std::string>> Events() const
    {
        return Query("SELECT type, version, platform, app, page, block, action, info FROM usage_event ORDER BY id");
    }
    std::vector<std::string> Feedback() const
    {
        std::vector<std::string> texts;
        for (auto& row : Query("SELECT text FROM feedback ORDER BY id"))
            texts.push_back(row[0]);
        return texts;
    }
    // Runs the event loop until at least `count` events were stored.
    bool WaitForEvents(size_t count, int timeoutMs = 10000) const
    {
        return QTest::qWaitFor([&] { return Events().size() >= count; }, timeoutMs);
    }

private:
    QTemporaryDir dir_;
    QString dbPath_;
    QProcess process_;
    int port_ = -1;
};

// One request as the fake service received it.
struct SeenRequest {
    std::string method;
    std::string target; // path with query
    std::string contentType;
    std::string contentLength;
    std::string body;
};

// A scripted HTTP service on a free loopback port: every request gets the
// status and body given and is recorded; the client is pointed at it.
class FakeService {
public:
    FakeService(int status, std::string body)
    {
        auto handler = [this, status, body](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back({req.method, req.target, req.get_header_value("Content-Type"),
                                     req.get_header_value("Content-Length"), req.body});
            }
            res.status = status;
            res.set_content(body, "application/json");
        };
        server_.set_keep_alive_max_count(1);
        // An idle connection must not hold up stopping for long.
        server_.set_read_timeout(0, 300000);
        server_.Post(".*", handler);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        PointClientAt(port_);
    }
    ~FakeService()
    {
        server_.stop();
        thread_.join();
        RestoreServiceUrl();
    }

    std::vector<SeenRequest> Requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // Received requests whose target starts with `prefix`.
    std::vector<SeenRequest> RequestsTo(const std::string& prefix)
    {
        std::vector<SeenRequest> found;
        for (const SeenRequest& r : Requests()) {
            if (r.target.rfind(prefix, 0) == 0)
                found.push_back(r);
        }
        return found;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<SeenRequest> requests_;
    int port_ = 0;
};

struct ShownBox {
    QString title;
    QString text;
    bool information = false;
    bool okOnly = false;
    bool parentless = false;
};

// The message boxes on screen, which are closed on the way.
inline std::vector<ShownBox> TakeMessageBoxes()
{
    std::vector<ShownBox> shown;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible())
            continue;
        shown.push_back({box->windowTitle(), box->text(), box->icon() == QMessageBox::Information,
                         box->standardButtons() == QMessageBox::Ok, box->parent() == nullptr});
        box->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return shown;
}

// The texts of the boxes on screen (closed on the way), each checked to be
// an information box without parent, titled by its text, with only OK.
inline QStringList TakeMessageTexts()
{
    QStringList texts;
    for (const ShownBox& box : TakeMessageBoxes()) {
        EXPECT_EQ(box.title, box.text);
        EXPECT_TRUE(box.information);
        EXPECT_TRUE(box.okOnly);
        EXPECT_TRUE(box.parentless);
        texts.append(box.text);
    }
    return texts;
}

// Catches what would go to the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    }
    ~UrlCatcher() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// Visible top-level widgets of one class.
template <typename T>
QList<T*> VisibleWindows()
{
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            found.append(t);
    }
    return found;
}
