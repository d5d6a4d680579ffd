// The about box TFAbout: the program's logo, its version, and where to reach
// its makers (home page and mail open in the desktop's browser and mail
// program). Qt; user-interface thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

// The addresses behind the about box's lines.
inline constexpr const char* kHomePage = "https://quillet.example.org/";
inline constexpr const char* kMailAddress = "quillet@example.org";
inline constexpr const char* kContactNumber = "00000000";

class TFAbout : public QDialog {
  public:
    TFAbout();

    // The logo as decoded from the program's JPEG (250 x 80); null when the
    // picture could not be read.
    static QImage Logo();

    QLabel* Picture;
    QLabel* VersionLine;
    QLabel* HomePageLink;
    QLabel* MailLink;
    QLabel* ContactLine;
    QLabel* Request;
    QPushButton* Button1;
};
