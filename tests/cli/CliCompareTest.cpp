#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvTypeTable.h"

namespace {

struct Expected {
    double ssim;
    double mse[3];
    double psnr[3];
};

// What the analysis window computes for frame `frame` of two readers.
Expected Direct(const lumo::LumoYuvReader& a, const lumo::LumoYuvReader& b, int frame, int code)
{
    Expected e{};
    int64_t got = 0;
    std::unique_ptr<uint8_t[]> pa(a.ReadFrameYUV444(nullptr, &got, frame * a.GetFrameSize()));
    std::unique_ptr<uint8_t[]> pb(b.ReadFrameYUV444(nullptr, &got, frame * b.GetFrameSize()));
    EXPECT_TRUE(pa && pb);
    if (!pa || !pb)
        return e;
    std::unique_ptr<uint8_t[]> ia(lumo::Yuv444ToI420(pa.get(), a.Width(), a.Height()));
    std::unique_ptr<uint8_t[]> ib(lumo::Yuv444ToI420(pb.get(), b.Width(), b.Height()));
    const lumo::LumoYuvReader metrics;
    metrics.ComputePsnrMse(e.psnr, ia.get(), ib.get(), a.Width(), a.Height(), e.mse);
    e.ssim = metrics.ComputeSsimGray(ia.get(), ib.get(), a.Width(), a.Height(), code);
    return e;
}

// JSON has no NaN or infinity: those come as null.
void ExpectJsonValue(const QJsonValue& value, double expected, const char* what)
{
    if (!std::isfinite(expected)) {
        EXPECT_TRUE(value.isNull()) << what;
        return;
    }
    ASSERT_TRUE(value.isDouble()) << what;
    EXPECT_DOUBLE_EQ(value.toDouble(), expected) << what;
}

void ExpectCsvValue(const QString& field, double expected, const char* what)
{
    bool ok = false;
    const double value = field.toDouble(&ok);
    ASSERT_TRUE(ok) << what << " '" << field.toStdString() << "'";
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(value)) << what;
    else
        EXPECT_DOUBLE_EQ(value, expected) << what;
}

QJsonObject ParseJson(const std::string& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text;
    EXPECT_TRUE(doc.isObject());
    return doc.object();
}

const char* const kPlaneKeys[3] = {"y", "u", "v"};

class CliCompare : public ::testing::Test {
protected:
    void MakeFiles(int width, int height, const char* layoutB, int framesA, int framesB)
    {
        width_ = width;
        height_ = height;
        pathA_ = dir_.File("a.yuv");
        pathB_ = dir_.File("b.yuv");
        layoutB_ = layoutB;
        ASSERT_TRUE(WriteBytes(pathA_, PatternBytes(lumo::GetFrameSize(width, height, "YUV_TYPE_I420"), framesA, 1)));
        ASSERT_TRUE(WriteBytes(pathB_, PatternBytes(lumo::GetFrameSize(width, height, layoutB), framesB, 2)));
    }
    lumo::LumoYuvReader ReaderA() const { return lumo::LumoYuvReader(pathA_, width_, height_, "YUV_TYPE_I420"); }
    lumo::LumoYuvReader ReaderB() const { return lumo::LumoYuvReader(pathB_, width_, height_, layoutB_); }
    std::vector<std::string> Args(std::vector<std::string> extra) const
    {
        std::vector<std::string> args = {"compare", pathA_, pathB_, "--size",
                                         std::to_string(width_) + "x" + std::to_string(height_), "--layout-b",
                                         layoutB_};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    ScratchDir dir_;
    std::string pathA_, pathB_, layoutB_;
    int width_ = 0, height_ = 0;
};

} // namespace

TEST_F(CliCompare, JsonValuesEqualTheLibraryForEveryRange)
{
    MakeFiles(48, 32, "YUV_TYPE_NV12", 4, 4);
    struct Case {
        const char* range; // empty: the default
        int code;
    };
    const Case cases[] = {{"", 1}, {"bt601", 0}, {"bt601full", 1}, {"BT709", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        std::vector<std::string> extra = {"--format", "json"};
        if (*c.range)
            extra.insert(extra.end(), {"--range", c.range});
        const CliResult r = RunCli(Args(extra));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        const QJsonObject root = ParseJson(r.out);
        EXPECT_EQ(root["colorRangeCode"].toInt(), c.code);
        EXPECT_EQ(root["b"].toObject()["layout"].toString(), "YUV_TYPE_NV12");
        EXPECT_EQ(root["a"].toObject()["path"].toString().toStdString(), pathA_);
        const QJsonArray frames = root["frames"].toArray();
        ASSERT_EQ(frames.size(), 4);
        double mseSum[3] = {0, 0, 0};
        for (int f = 0; f < 4; ++f) {
            const QJsonObject row = frames[f].toObject();
            const Expected e = Direct(ReaderA(), ReaderB(), f, c.code);
            EXPECT_EQ(row["frame"].toInt(), f);
            ExpectJsonValue(row["ssim"], e.ssim, "ssim");
            for (int p = 0; p < 3; ++p) {
                ExpectJsonValue(row[QString("mse_") + kPlaneKeys[p]], e.mse[p], "mse");
                ExpectJsonValue(row[QString("psnr_") + kPlaneKeys[p]], e.psnr[p], "psnr");
                mseSum[p] += e.mse[p];
            }
        }
        const QJsonObject summary = root["summary"].toObject();
        EXPECT_EQ(summary["frames"].toInt(), 4);
        for (int p = 0; p < 3; ++p) {
            const double mean = mseSum[p] / 4;
            EXPECT_DOUBLE_EQ(summary["mean"].toObject()[QString("mse_") + kPlaneKeys[p]].toDouble(), mean);
            EXPECT_NEAR(summary["psnrOfMeanMse"].toObject()[kPlaneKeys[p]].toDouble(),
                        10 * std::log10(65025.0 / mean), 1e-9);
        }
    }
}

TEST_F(CliCompare, CsvRowsEqualTheLibraryAndDoNotDependOnTheWorkerCount)
{
    MakeFiles(40, 24, "YUV_TYPE_YUYV", 7, 7);
    std::string first;
    for (const char* jobs : {"1", "2", "5"}) {
        SCOPED_TRACE(jobs);
        const CliResult r = RunCli(Args({"--format", "csv", "--jobs", jobs, "--range", "bt709"}));
        ASSERT_EQ(r.status, 0) << r.err;
        if (first.empty())
            first = r.out;
        EXPECT_EQ(r.out, first);
    }
    const QStringList lines = QString::fromStdString(first).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 7 + 2);
    EXPECT_EQ(lines[0], "frame,ssim,mse_y,mse_u,mse_v,psnr_y,psnr_u,psnr_v");
    for (int f = 0; f < 7; ++f) {
        const QStringList fields = lines[1 + f].split(',');
        ASSERT_EQ(fields.size(), 8);
        EXPECT_EQ(fields[0].toInt(), f);
        const Expected e = Direct(ReaderA(), ReaderB(), f, 2);
        ExpectCsvValue(fields[1], e.ssim, "ssim");
        for (int p = 0; p < 3; ++p) {
            ExpectCsvValue(fields[2 + p], e.mse[p], "mse");
            ExpectCsvValue(fields[5 + p], e.psnr[p], "psnr");
        }
    }
    EXPECT_TRUE(lines[8].startsWith("mean,"));
    EXPECT_TRUE(lines[9].startsWith("psnr_of_mean_mse,,,,,"));

    // -o writes the same report, and only the report, into the file.
    const std::string out = dir_.File("report.csv");
    const CliResult r = RunCli(Args({"--format", "csv", "--range", "bt709", "-o", out}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    const std::vector<uint8_t> written = ReadBytes(out);
    EXPECT_EQ(std::string(written.begin(), written.end()), first);
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a.yuv", "b.yuv", "report.csv"}));
}

TEST_F(CliCompare, ComparesOnlyTheFramesBothFilesHave)
{
    MakeFiles(16, 16, "YUV_TYPE_I420", 5, 3);
    const CliResult all = RunCli(Args({"--format", "json"}));
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.err.find("A has 5 frames and B has 3"), std::string::npos) << all.err;
    const QJsonObject root = ParseJson(all.out);
    EXPECT_EQ(root["frames"].toArray().size(), 3);
    EXPECT_EQ(root["a"].toObject()["frames"].toInt(), 5);
    EXPECT_EQ(root["b"].toObject()["frames"].toInt(), 3);

    struct Case {
        const char* frames;
        int first, last;
    };
    const Case cases[] = {{"1:2", 1, 2}, {"2", 2, 2}, {"1:", 1, 2}, {":1", 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        const CliResult r = RunCli(Args({"--format", "json", "--frames", c.frames}));
        ASSERT_EQ(r.status, 0) << r.err;
        const QJsonArray frames = ParseJson(r.out)["frames"].toArray();
        ASSERT_EQ(frames.size(), c.last - c.first + 1);
        EXPECT_EQ(frames.first().toObject()["frame"].toInt(), c.first);
        EXPECT_EQ(frames.last().toObject()["frame"].toInt(), c.last);
    }
}

TEST_F(CliCompare, IdenticalFilesAndPsnrOnly)
{
    MakeFiles(24, 24, "YUV_TYPE_I420", 2, 2);
    pathB_ = pathA_;
    const CliResult r = RunCli(Args({"--format", "json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject row = ParseJson(r.out)["frames"].toArray()[0].toObject();
    EXPECT_NEAR(row["ssim"].toDouble(), 1.0, 1e-6);
    for (const char* key : {"mse_y", "mse_u", "mse_v"})
        EXPECT_EQ(row[key].toDouble(), 0.0);
    for (const char* key : {"psnr_y", "psnr_u", "psnr_v"})
        EXPECT_EQ(row[key].toDouble(), 999.99);

    const CliResult psnr = RunCli(Args({"--format", "json", "--metrics", "psnr"}));
    ASSERT_EQ(psnr.status, 0) << psnr.err;
    const QJsonObject root = ParseJson(psnr.out);
    EXPECT_EQ(root["metrics"].toString(), "psnr");
    EXPECT_TRUE(root["frames"].toArray()[1].toObject()["ssim"].isNull());
    EXPECT_EQ(root["frames"].toArray()[1].toObject()["psnr_y"].toDouble(), 999.99);
    EXPECT_TRUE(root["summary"].toObject()["mean"].toObject()["ssim"].isNull());

    const CliResult table = RunCli(Args({}));
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("999.99"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("SSIM_GRAY colour-range code 1"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("PSNR of mean MSE"), std::string::npos) << table.out;
}

TEST_F(CliCompare, NotANumberBecomesNullAndPathsAreEscaped)
{
    // One pixel high: no position of the SSIM window fits, SSIM is 0/0. (The
    // chroma planes hold a row of 6 samples: their numbers are plain ones.)
    MakeFiles(12, 1, "YUV_TYPE_I420", 2, 2);
    for (const std::string& name : {std::string("quote\"back\\slash\ttab.yuv"), std::string("bad\xff\xfe utf8 \xe4\xb8\xad.yuv")}) {
        SCOPED_TRACE(name);
        const std::string odd = dir_.File(name);
        ASSERT_EQ(std::rename(pathA_.c_str(), odd.c_str()), 0);
        pathA_ = odd;
        const CliResult r = RunCli(Args({"--format", "json"}));
        ASSERT_EQ(r.status, 0) << r.err;
        const QJsonObject root = ParseJson(r.out);
        const QJsonObject row = root["frames"].toArray()[0].toObject();
        const Expected e = Direct(ReaderA(), ReaderB(), 0, 1);
        ASSERT_TRUE(std::isnan(e.ssim));
        EXPECT_TRUE(row["ssim"].isNull());
        ExpectJsonValue(row["mse_y"], e.mse[0], "mse_y");
        ExpectJsonValue(row["mse_u"], e.mse[1], "mse_u");
        ExpectJsonValue(row["psnr_v"], e.psnr[2], "psnr_v");
        const std::string path = root["a"].toObject()["path"].toString().toStdString();
        if (name[0] == 'q')
            EXPECT_EQ(path, odd);
        else
            EXPECT_NE(path.find("\xef\xbf\xbd"), std::string::npos); // U+FFFD for the bad bytes
        const CliResult csv = RunCli(Args({"--format", "csv"}));
        ASSERT_EQ(csv.status, 0) << csv.err;
        const QStringList fields = QString::fromStdString(csv.out).split('\n')[1].split(',');
        ExpectCsvValue(fields[1], e.ssim, "ssim");
        ExpectCsvValue(fields[3], e.mse[1], "mse_u");
    }
}

// Under a memory limit, whatever cannot be computed is an error (status 2,
// one line), never a number. The limit is narrowed down to the smallest one
// that lets a 1080p comparison through; every run on the way is checked,
// and so is the one just below.
TEST_F(CliCompare, MetricThatCannotBeComputedIsAnError)
{
    MakeFiles(1920, 1080, "YUV_TYPE_I420", 1, 1);
    const std::vector<std::string> args = Args({"--format", "csv", "--jobs", "1"});
    const auto run = [&](long long limit) {
        CliRun limited;
        limited.addressSpace = limit;
        const CliResult r = RunCli(args, limited);
        if (r.status == 0) {
            const QStringList fields = QString::fromStdString(r.out).split('\n')[1].split(',');
            EXPECT_EQ(fields.size(), 8);
            for (const QString& field : fields)
                EXPECT_FALSE(field.contains("inf")) << "limit " << limit << ": " << r.out;
        }
        return r;
    };
    long long works = 4LL << 30;
    ASSERT_EQ(run(works).status, 0);
    long long fails = 0;
    while (works - fails > (1 << 20)) {
        const long long mid = (works + fails) / 2;
        (run(mid).status == 0 ? works : fails) = mid;
    }
    ExpectRefused(run(fails), "yuvlumo-cli: ");
}

// More workers than the memory budget holds at 2160p: fewer run, the
// report does not change, and standard error says so in one line.
TEST_F(CliCompare, JobsAreLoweredToTheMemoryBudget)
{
    MakeFiles(3840, 2160, "YUV_TYPE_I420", 3, 3);
    const CliResult one = RunCli(Args({"--format", "csv", "--jobs", "1"}));
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_TRUE(one.err.empty()) << one.err;
    const CliResult many = RunCli(Args({"--format", "csv", "--jobs", "16"}));
    ASSERT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(many.err.rfind("yuvlumo-cli: --jobs 16 lowered to ", 0), 0u) << many.err;
    EXPECT_EQ(std::count(many.err.begin(), many.err.end(), '\n'), 1) << many.err;
}

// One frame pair alone over the memory budget: whatever the frame count,
// one worker runs and standard error says why in one line.
TEST_F(CliCompare, OnePairOverTheBudgetRunsOneWorkerAndSaysSo)
{
    MakeFiles(6144, 3600, "YUV_TYPE_I420", 1, 1);
    const CliResult r = RunCli(Args({"--format", "csv", "--jobs", "64"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("yuvlumo-cli: --jobs 64 lowered to 1: at 6144x3600 one frame pair may need ", 0), 0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}
