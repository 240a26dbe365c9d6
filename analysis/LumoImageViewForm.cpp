#include "analysis/LumoImageView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpacerItem>
#include <QVBoxLayout>

// The window's widgets and layouts; LumoImageView.cpp wires them.
void LumoImageView::BuildForm()
{
    setObjectName(QStringLiteral("LumoImageView"));
    resize(1284, 659);
    setWindowTitle(QStringLiteral("MainWindow"));

    centralwidget_ = new QWidget(this);
    centralwidget_->setObjectName(QStringLiteral("centralwidget"));
    auto* verticalLayout3 = new QVBoxLayout(centralwidget_);
    verticalLayout3->setObjectName(QStringLiteral("verticalLayout_3"));

    videoTimeLineLayout_ = new QVBoxLayout();
    videoTimeLineLayout_->setObjectName(QStringLiteral("video_time_line_layout"));
    verticalLayout3->addLayout(videoTimeLineLayout_);

    auto* horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));

    auto* verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(8, 8, 8, 8);
    const QSizePolicy fixed(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto makeBox = [&](QBoxLayout* layout, const char* name, const char* text, bool fixedSize) {
        auto* box = new QCheckBox(QString::fromUtf8(text), centralwidget_);
        box->setObjectName(QString::fromLatin1(name));
        if (fixedSize)
            box->setSizePolicy(fixed);
        layout->addWidget(box);
        return box;
    };
    // Short boxes share rows: with two files, the plot and the control bar
    // above, the window still fits a 1366x768 screen with a panel.
    auto* channelRow = new QHBoxLayout();
    verticalLayout->addLayout(channelRow);
    channelCheckboxY_ = makeBox(channelRow, "channel_checkbox_y", "Y", true);
    channelCheckboxU_ = makeBox(channelRow, "channel_checkbox_u", "U", true);
    channelCheckboxV_ = makeBox(channelRow, "channel_checkbox_v", "V", true);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* label2 = new QLabel(QStringLiteral("Range"), centralwidget_);
    label2->setObjectName(QStringLiteral("label_2"));
    verticalLayout->addWidget(label2);
    auto makeRadio = [&](const char* name, const char* text) {
        auto* radio = new QRadioButton(QString::fromUtf8(text), centralwidget_);
        radio->setObjectName(QString::fromLatin1(name));
        verticalLayout->addWidget(radio);
        return radio;
    };
    bt709VideoRange_ = makeRadio("Bt709VideoRange", "BT709 Video");
    bt601VideoRange_ = makeRadio("Bt601VideoRange", "BT601 Video");
    bt601FullRange_ = makeRadio("Bt601FullRange", "BT601 Full");

    auto* gammaOpt = new QVBoxLayout();
    gammaOpt->setObjectName(QStringLiteral("GammaOpt"));
    auto* label = new QLabel(QStringLiteral("Gamma:"), centralwidget_);
    label->setObjectName(QStringLiteral("label"));
    gammaOpt->addWidget(label);
    gammaSpinBox_ = new QDoubleSpinBox(centralwidget_);
    gammaSpinBox_->setObjectName(QStringLiteral("gamma_spin_box"));
    gammaOpt->addWidget(gammaSpinBox_);
    verticalLayout->addLayout(gammaOpt);

    auto* verticalLayout2 = new QVBoxLayout();
    verticalLayout2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout2->setContentsMargins(0, 0, 0, 0);
    auto* colorRectRow = new QHBoxLayout();
    verticalLayout2->addLayout(colorRectRow);
    colorRectCheckboxY_ = makeBox(colorRectRow, "color_rect_checkbox_y", "Y", false);
    colorRectCheckboxR_ = makeBox(colorRectRow, "color_rect_checkbox_r", "R", false);
    colorRectCheckboxG_ = makeBox(colorRectRow, "color_rect_checkbox_g", "G", false);
    colorRectCheckboxB_ = makeBox(colorRectRow, "color_rect_checkbox_b", "B", false);
    verticalLayout->addLayout(verticalLayout2);
    auto* diffRow = new QHBoxLayout();
    verticalLayout->addLayout(diffRow);
    diffCheckbox_ = makeBox(diffRow, "diff_checkbox", "Diff", false);
    diffCheckbox_->setEnabled(false);
    diffGainBox_ = new QComboBox(centralwidget_);
    diffGainBox_->setObjectName(QStringLiteral("diff_gain_box"));
    for (int gain : {1, 4, 16})
        diffGainBox_->addItem(QStringLiteral("×%1").arg(gain), gain);
    diffGainBox_->setEnabled(false);
    diffRow->addWidget(diffGainBox_);
    // Link views on a row of its own: beside Diff and its gain the column
    // would grow wider than the views can spare.
    linkViewsCheck_ = new QCheckBox(QStringLiteral("Link views"), centralwidget_);
    linkViewsCheck_->setObjectName(QStringLiteral("linkViewsCheck"));
    linkViewsCheck_->setChecked(true);
    linkViewsCheck_->setEnabled(false);
    verticalLayout->addWidget(linkViewsCheck_);
    horizontalLayout->addLayout(verticalLayout);

    auto* verticalLayout4 = new QVBoxLayout();
    verticalLayout4->setObjectName(QStringLiteral("verticalLayout_4"));
    imageShowLayout_ = new QHBoxLayout();
    imageShowLayout_->setObjectName(QStringLiteral("image_show_layout"));
    verticalLayout4->addLayout(imageShowLayout_, 1);
    pixelInfo_ = new QLabel(centralwidget_);
    pixelInfo_->setObjectName(QStringLiteral("pixel_info_label"));
    pixelInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pixelInfo_->setMinimumHeight(pixelInfo_->fontMetrics().height());
    verticalLayout4->addWidget(pixelInfo_);
    colorChartLayout_ = new QHBoxLayout();
    colorChartLayout_->setObjectName(QStringLiteral("color_chart_layout"));
    verticalLayout4->addLayout(colorChartLayout_);
    horizontalLayout->addLayout(verticalLayout4, 1);
    verticalLayout3->addLayout(horizontalLayout, 1);

    auto* line = new QFrame(centralwidget_);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    verticalLayout3->addWidget(line);

    setCentralWidget(centralwidget_);
}
