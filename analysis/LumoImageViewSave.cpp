#include "analysis/LumoImageView.h"

#include "render/YUVShowView.h"
#include "render/YUVWidget.h"
#include "analysis/MetricPlot.h"
#include "analysis/PixelInspector.h"
#include "analysis/SequenceMetrics.h"
#include "yuv/PixelMath.h"
#include "yuv/YuvColorMatrix.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>

#include <algorithm>
#include <memory>
#include <new>

// Saving from the analysis window: the shown frame or difference picture as
// PNG, the whole-sequence comparison as CSV.

namespace {

LumoImageView::SaveFileChooser& SaveChooser()
{
    static LumoImageView::SaveFileChooser chooser;
    return chooser;
}

// A message that does not block: the window keeps running behind it.
void ShowInformation(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("YuvLumo"), text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

QString CannotWrite(const QString& path, const QFileDevice& file)
{
    return LumoImageView::tr("无法写入 %1：%2").arg(path, file.errorString());
}

} // namespace

void LumoImageView::SaveSequenceCsv()
{
    if (!sequence_->IsFinished())
        return;
    const QFileInfo first(QString::fromStdString(First().reader.Path()));
    const QFileInfo second(QString::fromStdString(Second().reader.Path()));
    const QString suggested =
        first.dir().filePath(QStringLiteral("%1_vs_%2.csv").arg(first.completeBaseName(), second.completeBaseName()));
    const QString path = ChooseSaveFile(this, QStringLiteral("Save CSV"), suggested, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    const std::string csv = sequence_->Csv(plot_->ShownExtras());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) || !file.commit())
        ShowInformation(CannotWrite(path, file));
}

void LumoImageView::SetSaveFileChooser(SaveFileChooser chooser)
{
    SaveChooser() = std::move(chooser);
}

QString LumoImageView::ChooseSaveFile(QWidget* parent, const QString& caption, const QString& suggested,
                                      const QString& filter)
{
    if (SaveChooser())
        return SaveChooser()(parent, caption, suggested, filter);
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void LumoImageView::SaveShownFrame()
{
    const bool second = Second().widget && inspector_->Hovered() == 1;
    const lumo::LumoYuvReader& reader = second ? Second().reader : First().reader;
    const int frame = shownFrame_;
    const QFileInfo source(QString::fromStdString(reader.Path()));
    const QString suggested =
        source.dir().filePath(QStringLiteral("%1_frame%2.png").arg(source.completeBaseName()).arg(frame));
    const QString path = ChooseSaveFile(this, QStringLiteral("Save frame %1").arg(frame), suggested,
                                        QStringLiteral("PNG (*.png)"));
    if (path.isEmpty())
        return;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ShowInformation(CannotWrite(path, file));
        return;
    }
    auto sink = [&](const void* data, size_t size) {
        return file.write(static_cast<const char*>(data), static_cast<qint64>(size)) == static_cast<qint64>(size);
    };
    // What the view draws, without anything drawn over it: the frame through
    // the window's range and gamma, or the difference picture.
    const double gamma = gammaSpinBox_->value();
    YUVShowView* view = second ? Second().widget->View() : First().widget->View();
    const lumo::FramePngStatus status = view->ShowsDiff() ? SaveDiffPicture(gamma, sink)
                                                          : lumo::WriteFramePng(reader, frame, colorRangeId_, gamma, sink);
    if (status == lumo::FramePngStatus::Ok && file.commit())
        return;
    file.cancelWriting();
    if (status == lumo::FramePngStatus::ReadFailed)
        ShowInformation(tr("无法读取第 %1 帧").arg(frame));
    else
        ShowInformation(CannotWrite(path, file));
}

lumo::FramePngStatus LumoImageView::SaveDiffPicture(
    double gamma, const std::function<bool(const void* data, size_t size)>& sink) const
{
    const YUVShowView* first = First().widget->View();
    const YUVShowView* second = Second().widget->View();
    const uint8_t* a = first->ShownPlanes();
    const uint8_t* b = second->ShownPlanes();
    const int w = first->FrameWidth();
    const int h = first->FrameHeight();
    lumo::ColorMatrix matrix;
    if (!a || !b || w != second->FrameWidth() || h != second->FrameHeight() ||
        !lumo::MatrixFor(colorRangeId_, 8, &matrix))
        return lumo::FramePngStatus::ReadFailed;
    const size_t n = 3 * static_cast<size_t>(w) * static_cast<size_t>(h);
    std::unique_ptr<uint8_t[]> diff(new (std::nothrow) uint8_t[n]);
    std::unique_ptr<uint16_t[]> planes(new (std::nothrow) uint16_t[n]);
    if (!diff || !planes)
        return lumo::FramePngStatus::EncodeFailed;
    DiffSamples(a, b, n, diffGainBox_->currentData().toInt(), diff.get());
    std::copy(diff.get(), diff.get() + n, planes.get());
    diff.reset();
    return lumo::WritePlanesPng(planes.get(), w, h, matrix, gamma, sink);
}
