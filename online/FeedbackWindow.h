#pragma once

#include <QMainWindow>

class QCloseEvent;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTextEdit;
class RecordLog;

// Lets the user type a problem report and send it to the web service. A
// closed window is destroyed once no request of its own is in flight, so
// every reply is still answered with its message.
class FeedbackWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit FeedbackWindow(QWidget* parent = nullptr);
    ~FeedbackWindow() override;

    static constexpr const char* kFeedbackPath = "/lumo/user/feedback/send";

    // Requests sent and not yet answered.
    int pendingRequests() const { return pending_; }

public slots:
    void submitBtnClick();
    void OnNetworkProcessFinished(QNetworkReply* reply);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildForm();
    void ReleaseIfDone();

    QLabel* explainLabel_ = nullptr;
    QTextEdit* descTextEdit_ = nullptr;
    QPushButton* submitButton_ = nullptr;
    QNetworkAccessManager* manager_ = nullptr;
    RecordLog* record_log_ = nullptr;
    int pending_ = 0;
    bool closed_ = false;
};
