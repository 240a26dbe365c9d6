#pragma once

#include <functional>

#include <QDialog>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QLabel;
class QPushButton;
class QSpinBox;
class QVBoxLayout;
class RecordLog;

// Modal dialog in which the user gathers raw or media files and states
// their layout, width and height. Media files are converted to raw files
// next to them first; their geometry and layout fill the form.
class OpenFileDialog : public QDialog {
    Q_OBJECT
public:
    // Shows a file chooser and returns the chosen paths (empty: cancelled).
    // May throw; the dialog reports that as an error event.
    using FileChooser =
        std::function<QStringList(QWidget* parent, const QString& title, const QString& startDir,
                                  const QString& filter)>;

    explicit OpenFileDialog(QWidget* parent = nullptr);
    ~OpenFileDialog() override;

    // Replaces the chooser of every dialog (tests); an empty function
    // restores the native one.
    static void SetFileChooser(FileChooser chooser);

    const QStringList& selectedFiles() const { return selected_files_; }
    int yuvIndex() const { return yuv_index_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Conversions started by this dialog that have not reported yet.
    int pendingConversions() const { return pending_; }

    // Adds files as if chosen with "打开YUV" (dropped files, files from the
    // command line); encoded video that decodes is read in place, other
    // videos and pictures (by their extension) are converted as if chosen
    // with "视频". A Y4M file that cannot be read is refused
    // with a message. Then pre-fills the form from the first chosen file's
    // guess.
    void AddChosenFiles(const QStringList& paths);
    // Fills W, H and the layout button where the user has not set them yet;
    // values below 1 (or an index outside the table) leave a field alone.
    void Prefill(int width, int height, int yuvIndex);
    // What the form shows before anything is known (a second file starts
    // with the first one's values): a guess from a chosen file replaces
    // these, whereas it never replaces what the user set.
    void SetStartValues(int width, int height, int yuvIndex);

public slots:
    void OpenFileClickListener();
    void OpenMediaClickListener();
    // "直接打开视频": videos chosen are read decoded in place, not converted.
    void OpenInPlaceClickListener();
    void OkClickListener();
    void CancelClickListener();
    void workStart();
    void workFinished(int width, int height, int yuv_index);
    // A conversion refused its input: the message is shown and the output,
    // never written, leaves the selection.
    void workRefused(const QString& output, const QString& message);

private:
    // Runs the chooser with `filter` and remembers its folder; false when
    // nothing was chosen or the chooser failed.
    bool ChooseFiles(const QString& filter, QStringList& paths);
    // Appends the file names to the picked names shown in the dialog.
    void NotePicked(const QStringList& paths);
    // Starts one conversion per media file; their outputs are selected.
    void ConvertMedia(const QStringList& paths);
    void UpdateOkButton();
    void Warn(const QString& text);

    QStringList selected_files_;
    QString picked_names_;
    int yuv_index_ = -1;
    int width_ = -1;
    int height_ = -1;
    int pending_ = 0;
    // Fields that still hold their start value.
    bool startWidth_ = false;
    bool startHeight_ = false;
    bool startLayout_ = false;

    QPushButton* open_file_btn_ = nullptr;
    QPushButton* open_file_video_ = nullptr;
    QPushButton* open_file_image_ = nullptr;
    QPushButton* open_file_in_place_ = nullptr;
    QLabel* open_file_path_label_ = nullptr;
    QVBoxLayout* yuv_type_list_layout_ = nullptr;
    QSpinBox* width_spin_box_ = nullptr;
    QSpinBox* height_spin_box_ = nullptr;
    QPushButton* open_file_cancel_ = nullptr;
    QPushButton* open_file_ok_ = nullptr;
    QButtonGroup* type_group_ = nullptr;
    RecordLog* record_log_ = nullptr;
};
