// The file properties dialog TFProperties: the media description of one
// playlist entry, with its title and comment editable. "关闭" applies the
// edits; the window's close box discards them. Qt Widgets.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "playlist/MediaInf.h"

class TFProperties : public QDialog {
  public:
    explicit TFProperties(QWidget* parent = nullptr);

    // Fills every control from the entry and remembers it.
    void FillMediaInf(TMediaInf& item);
    // Applies the edits to the remembered entry and closes.
    void btnCloseClick();
    // True when "关闭" changed the entry's title or comment.
    bool Changed() const { return m_changed; }

    QLineEdit *edtFileName, *edtTitle, *edtArtist, *edtAlbum, *edtTrack, *edtGenre, *edtYear;
    QPlainTextEdit* mComment;
    QLabel *lblDuration, *lblBitrate, *lblsamplerate, *lblFilesize, *lblbps;
    QPushButton* btnClose;

  private:
    TMediaInf* m_item = nullptr;
    bool m_changed = false;
};
