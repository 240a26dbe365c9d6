#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class RecordLog;

// Tells the user that the web service names another version than this one,
// with a link to the download page. Deletes itself when closed.
class NewVersionDiglog : public QDialog {
    Q_OBJECT
public:
    NewVersionDiglog(const QString& version, QWidget* parent = nullptr);
    ~NewVersionDiglog() override;

    static constexpr const char* kVersionPath = "/lumo/user/version/get_latest_version?app_name=YUVLumo";

    // The download page on the web service.
    static QString DownloadUrl();

    // Posts the latest-version request (empty body) through `manager`.
    static QNetworkReply* RequestLatestVersion(QNetworkAccessManager* manager);
    // Reads a finished latest-version reply: false when it failed or its code
    // is not 200, else true with "model"."version" (empty when missing).
    static bool ReadLatestVersion(QNetworkReply* reply, QString& version);

public slots:
    void openUrl(const QString& url);

private:
    void BuildForm();

    QLabel* new_version_label_ = nullptr;
    QLabel* new_version_link_ = nullptr;
    RecordLog* record_log_ = nullptr;
};
