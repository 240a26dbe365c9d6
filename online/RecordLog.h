#pragma once

#include <QObject>
#include <QString>

class QNetworkAccessManager;

// Usage-event reporter: one per reporting window. Each operation formats one
// event and posts it to the web service without waiting for or reading the
// reply.
class RecordLog : public QObject {
    Q_OBJECT
public:
    explicit RecordLog(QObject* parent = nullptr);
    ~RecordLog() override;

    static constexpr const char* kPath = "/lumo/user/anchor/anchor";

    // The general event behind every operation below. `information` goes
    // into the "info" field after "[user_email]; [info] ".
    void record(const QString& type, const QString& app, const QString& page, const QString& block,
                const QString& action, const QString& information);
    // The form body record() sends for these texts.
    static QByteArray EventBody(const QString& type, const QString& app, const QString& page,
                                const QString& block, const QString& action, const QString& information);

    void recordOpenFile(int width, int height, const QString& yuvType, const QString& yuvPath);
    void recordError(const QString& page, const QString& block, const QString& action, const QString& information);
    void recordAboutWindow();
    void recordMakerLink();
    void recordFeedbackWindow();
    void recordMainWindow();
    void recordMetric(const QString& description, double ssim, double psnrY, double psnrU, double psnrV);
    void recordPlayStart(const QString& description, int frameRate);
    void recordPlayStop(const QString& description);
    void recordOpen2nd(const QString& description);
    void recordUpdate(bool download);

    // First address of the machine's interfaces that is not the IPv4
    // loopback and is a non-zero IPv4 address; "127.0.0.1" when none.
    static QString LocalAddress();

private:
    QNetworkAccessManager* manager_; // no parent; see the destructor
};
