#include "playlist/window/UProperties.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>

#include "playlist/window/PlayListLayout.h"
#include "playlist/window/QtChild.h"

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

TFProperties::TFProperties(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("文件属性"));
    setWindowRole("properties");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    auto* box = MakeChild<QGroupBox>(QString::fromUtf8("媒体属性"), this);
    auto* form = MakeChild<QFormLayout>();
    auto field = [&](const char* label, bool editable) {
        auto* edit = MakeChild<QLineEdit>(box);
        edit->setReadOnly(!editable);
        form->addRow(QString::fromUtf8(label), edit);
        return edit;
    };
    edtFileName = field("文件路径", false);
    edtTitle = field("标题", true);
    edtArtist = field("艺术家", true);
    edtAlbum = field("专辑", false);
    edtTrack = field("轨道", false);
    edtGenre = field("流派", false);
    edtYear = field("年份", false);
    mComment = MakeChild<QPlainTextEdit>(box);
    mComment->setFixedHeight(60);
    form->addRow(QString::fromUtf8("备注"), mComment);
    auto label = [&](const char* caption) {
        auto* value = MakeChild<QLabel>(box);
        form->addRow(QString::fromUtf8(caption), value);
        return value;
    };
    lblDuration = label("长度：");
    lblBitrate = label("波特率：");
    lblsamplerate = label("采样率：");
    lblFilesize = label("文件大小：");
    lblbps = label("BPS:");
    box->setLayout(form);
    btnClose = MakeChild<QPushButton>(QString::fromUtf8("关闭"), this);
    QObject::connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    auto* buttons = MakeChild<QHBoxLayout>();
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = MakeChild<QVBoxLayout>(this);
    layout->addWidget(box);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFProperties::FillMediaInf(TMediaInf& item) {
    m_item = &item;
    const TStreamInfo& s = item.StreamInfo;
    edtFileName->setText(text(s.FileName));
    edtTitle->setText(text(s.Title));
    edtArtist->setText(text(s.Artist));
    edtAlbum->setText(text(s.Album));
    edtTrack->setText(QString::number(s.Track));
    edtGenre->setText(text(s.Genre));
    edtYear->setText(text(s.Year));
    // The edit box keeps LF line breaks whatever the stored text has.
    mComment->setPlainText(
        text(plw::WithCrLf(s.Comment)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    lblDuration->setText(plw::DurationText(s.Duration));
    lblBitrate->setText(QString::number(s.BitRate) + " Kbps");
    lblsamplerate->setText(QString::number(s.SampleRate) + " Hz");
    lblFilesize->setText(plw::FileSizeText(s.FileSize));
    lblbps->setText(QString::number(s.BitsPerSample) + " Bits");
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        adjustSize();
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TFProperties::btnCloseClick() {
    if (m_item != nullptr) {
        TStreamInfo& s = m_item->StreamInfo;
        const std::string title = edtTitle->text().toStdString();
        if (title != s.Title) {
            s.Title = title;
            m_changed = true;
        }
        // Only a real edit counts: the stored comment may hold CR LF, LF or
        // CR line breaks, the box always LF.
        const std::string comment = plw::WithCrLf(mComment->toPlainText().toStdString());
        if (comment != plw::WithCrLf(s.Comment)) {
            s.Comment = comment;
            m_changed = true;
        }
    }
    accept();
}
