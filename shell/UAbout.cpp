#include "shell/UAbout.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QImageReader>
#include <QVBoxLayout>

#include "shell/QtOwned.h"

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

QLabel* linkLabel(QWidget* parent, const QString& url, const QString& text) {
    auto* label = QtOwned<QLabel>(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), text.toHtmlEscaped()), parent);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    return label;
}

}  // namespace

QImage TFAbout::Logo() {
    QImageReader reader(QStringLiteral(":/about/logo.jpg"), "jpeg");
    return reader.read();
}

TFAbout::TFAbout()
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
    setWindowRole(QStringLiteral("about"));
    setWindowTitle(u8("关于"));
    setModal(true);

    Picture = QtOwned<QLabel>(this);
    Picture->setPixmap(QPixmap::fromImage(Logo()));
    Picture->setFixedSize(250, 80);
    VersionLine = QtOwned<QLabel>(u8("版本：1.0.2"), this);
    HomePageLink = linkLabel(this, QString::fromLatin1(kHomePage), QString::fromLatin1(kHomePage));
    MailLink = linkLabel(this, QStringLiteral("mailto:") + QString::fromLatin1(kMailAddress),
                         QString::fromLatin1(kMailAddress));
    ContactLine = QtOwned<QLabel>(u8("QQ：") + QString::fromLatin1(kContactNumber), this);
    Request = QtOwned<QLabel>(u8("如有问题或者建议，请给我发邮件，谢谢！"), this);
    Button1 = QtOwned<QPushButton>(u8("关闭"), this);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* lines = QtOwned<QGridLayout>();
    lines->addWidget(VersionLine, 0, 0, 1, 2);
    lines->addWidget(QtOwned<QLabel>(u8("主页："), this), 1, 0);
    lines->addWidget(HomePageLink, 1, 1);
    lines->addWidget(QtOwned<QLabel>(QStringLiteral("Email:"), this), 2, 0);
    lines->addWidget(MailLink, 2, 1);
    lines->addWidget(ContactLine, 3, 0, 1, 2);
    lines->addWidget(Request, 4, 0, 1, 2);
    lines->setColumnStretch(1, 1);
    auto* layout = QtOwned<QVBoxLayout>(this);
    layout->addWidget(Picture, 0, Qt::AlignHCenter);
    layout->addLayout(lines);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
