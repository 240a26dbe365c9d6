#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class YUVShowView;

// The pixel line under the views: the frame pixel under the mouse, each
// view's samples there at the file's depth, the colour they are drawn in
// (through the window's range and gamma, or the difference view's
// picture), and B−A between the two files.
class PixelInspector : public QObject {
    Q_OBJECT
public:
    // `views` gives the views shown, first file first.
    PixelInspector(QLabel* label, const QDoubleSpinBox* gamma, const QComboBox* diffGain,
                   std::function<std::vector<YUVShowView*>()> views, QObject* parent = nullptr);

    // Follows the mouse over `view`, the window's view number `index` (0 the
    // first file's).
    void Watch(YUVShowView* view, int index);
    // The view the mouse is over, -1 for none.
    int Hovered() const { return hovered_; }
    // View `index` goes: the mouse is over none.
    void Forget(int index);
    // No pixel is inspected until the mouse moves again.
    void Clear();
    QString Text() const;
    void Update();

private:
    QLabel* label_;
    const QDoubleSpinBox* gamma_;
    const QComboBox* diffGain_;
    std::function<std::vector<YUVShowView*>()> views_;
    int hovered_ = -1;
    // Frame pixel under the mouse, -1 when none.
    int x_ = -1;
    int y_ = -1;
    QTimer timer_;
};
