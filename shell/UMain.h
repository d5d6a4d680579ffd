// The mini window TFMain: its controls, the skin's mini-window section
// (LoadSkin), the row layout, the window shape and the spectrum panel. Qt;
// user-interface thread only.
//
// The start-up sequence, the transport handlers, the timers and the docking
// are built on this surface: the owner runs LoadSkin, ShapeWindow,
// PrepareSpectrum and ApplyButtonSettings after every skin change, feeds
// DrawSpectrum from the player's OnNewFFTData, and hooks the callbacks below.
#pragma once

#include <QAction>
#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "engine/types/PlayerTypes.h"
#include "platform/win/WinTypes.h"
#include "platform/zip/ZipReader.h"
#include "shell/UMyImage.h"
#include "shell/Ufuncs.h"
#include "shell/UserPaths.h"

class TSettingsFile;

// An image control: shows its picture unstretched at its top-left corner and
// takes the picture's size.
class TSkinPicture : public QWidget {
  public:
    explicit TSkinPicture(QWidget* parent = nullptr);
    QImage Picture;  // Format_RGB32
    // Sizes the control to the picture and repaints it.
    void PictureChanged();
    // The picture's width: content on the left is kept, new columns are black.
    void SetPictureWidth(int width);

    std::function<void(QMouseEvent*)> OnMouseUp;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The spectrum panel: shows the frame DrawSpectrum composed, or nothing (the
// window background under it) after Repaint.
class TSpectrumPanel : public QWidget {
  public:
    explicit TSpectrumPanel(QWidget* parent = nullptr);
    // Shows the skin background until the next frame arrives.
    void Repaint();
    // Shows `frame` (owned by the form) from now on.
    void ShowFrame(const QImage* frame);
    bool ShowsFrame() const { return m_frame != nullptr; }

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    const QImage* m_frame = nullptr;
};

class TFMain : public QWidget {
  public:
    // `folders` say where the settings file and the skins are read and
    // written (see UserPaths.h).
    explicit TFMain(const TUserFolders& folders, QWidget* parent = nullptr);
    ~TFMain() override;

    // Sets the process-wide names the desktop knows the program by (X11
    // WM_CLASS instance "quilletplay", class "Quillet") and whole-number
    // display scaling. Call before the QApplication is created.
    static void PrepareApplication();

    // --- skins ---------------------------------------------------------
    // Applies the mini window's section of the skin archive at `path`. A
    // missing archive is reported once and replaced by the built-in skin,
    // written to the skins folder first. The first failing step stops it and
    // keeps what the steps before it applied; false then. When nothing of a
    // skin was ever applied (a damaged default.skn at start-up), the built-in
    // archive is applied from memory, so the window never stays blank.
    bool LoadSkin(const std::string& path);
    // Applies the mini window's section of an archive held in memory, under
    // the same guard (no message, no fall-back).
    bool LoadSkinFromMemory(std::string_view archive);
    // Where skin `name` is read from (first data folder that holds it, exact
    // name or else one that differs in letter case); the write folder's path
    // when none holds it.
    std::string SkinPath(const std::string& name) const;
    std::string SkinsWriteFolder() const;
    // The folders skins are read from, the one that wins on equal names first.
    std::vector<std::string> SkinsReadFolders() const;
    // The skin's archive: every member read by both windows comes from the
    // archive the last LoadSkin opened.
    qzip::ZipReader SkinZip;
    // The failure of the last LoadSkin, or empty.
    const std::string& SkinError() const { return m_skinError; }

    // --- button settings (UMainOptions.cpp) -----------------------------------
    TSettingsFile& Settings() { return *m_settings; }
    // Writes attributes of the current skin's element. A file that cannot be
    // written is reported in one message box and false comes back; a damaged
    // file moved aside is reported once after the write.
    bool WriteSkinSettings(const std::vector<std::pair<std::string, std::string>>& attributes);
    // The options dialog, modal; its OK lays the strip out again.
    void Options1Click();
    // The button menu's ten items (tags 0 to 9: the eight controls in the
    // order of kButtonNames, then miProgress and miVol).
    std::array<QAction*, 10> ButtonItems() const;
    // A button menu item was toggled (its check mark already inverted): the
    // setting is written, then the strip laid out again. When the file cannot
    // be written the check mark goes back and the strip stays as it was.
    void btnVisibleClick(QAction* item);

    // --- layout and drawing ----------------------------------------------
    void ApplyButtonSettings();
    void ShowProgressBar(bool show);
    void ShowVolumeBar(bool show);
    void ShapeWindow();
    void PrepareSpectrum();
    void DrawSpectrum(const TBandOut& bands);
    // The bar's empty state with the fill up to position / length and the
    // thumb at that point (length 0: empty, thumb left alone).
    void DrawProgress(std::int64_t position, std::int64_t length);
    // The volume bar filled to volume / 255.
    void DrawVolume(int volume);
    // VisMode 0..3 (clamped) and the BarWidth that goes with it.
    void SetVisMode(int mode);

    const QImage& Background() const { return m_background; }
    // The panel's composed frame: panel width x H + 1, cut to the background.
    const QImage& SpectrumFrame() const { return m_spectrumWork; }
    const QImage& SpectrumGradient() const { return m_gradient; }

    // Controls, by their form names.
    TSkinImage* btnPlay;
    TSkinImage* btnPause;
    TSkinImage* btnPre;
    TSkinImage* btnNext;
    TSkinImage* btnStop;
    TSkinImage* btnMute;
    TSkinImage* btnOpen;
    TSkinImage* btnList;
    TSkinPicture* imgProgress;
    TSkinPicture* imgProgFill;  // never shown: the progress fill's source
    TSkinImage* btnthumb;
    TSkinPicture* imgVol;
    TSkinPicture* imgvolFill;  // never shown: the volume fill's source
    TSkinImage* btnvthumb;
    TSpectrumPanel* pVis;

    // Check-mark items of the context menu that the layout keeps in step.
    QAction* miPlay;
    QAction* miPre;
    QAction* miNext;
    QAction* miStop;
    QAction* miMute;
    QAction* miOpen;
    QAction* miList;
    QAction* miVisual;
    QAction* miProgress;
    QAction* miVol;
    QAction* miBtnvisible;  // enabled exactly when the skin is not fixed

    // Shell state.
    std::string CurrentSkinName = "default.skn";
    std::string ButtonOrder = "Visual,Play,Prev,Next,Stop,Mute,Open,List";
    std::string ButtonCheck = "y,y,y,y,y,y,y,y";
    bool FixedStyle = false;
    int EdgeMargin = 2;
    int MiniWidth = 0;
    std::string TotalTimeText;  // shown in VisMode 3
    HWND Handle = nullptr;      // owner of message boxes once registered

    // Spectrum state.
    int VisMode = 0;
    int BarWidth = 2;
    int SpectrumHeight = 12;
    QRgb SpectrumTopColor = qRgb(0xff, 0x00, 0x00);
    QRgb SpectrumMidColor = qRgb(0xff, 0xff, 0x00);
    QRgb SpectrumBtmColor = qRgb(0x81, 0xfe, 0x00);
    QRgb SpectrumPeakColor = qRgb(0xc0, 0xc0, 0xc0);
    std::array<double, 25> PeakLevels{};
    std::array<int, 25> PeakAges{};

    // The player's position in milliseconds, for VisMode 2.
    std::function<std::uint32_t()> OnGetPosition;
    // Runs when ApplyButtonSettings has set MiniWidth (the docking's size).
    std::function<void(int miniWidth)> OnMiniWidthChanged;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct TBar;
    // The mini window's section of the archive SkinZip holds; throws
    // TSkinError at the first failing step.
    void applySkinArchive();
    // applySkinArchive under the guard; `opened` tells whether SkinZip could
    // open the archive named `source`.
    bool applyOpenedArchive(bool opened, const std::string& source);
    void readBar(pugi::xml_node node, TBar& bar);
    void drawBarBackground(TSkinPicture* bar);
    void drawSpectrumBars(const TBandOut& bands);
    void drawDigits();
    TSkinImage* buttonByName(const std::string& name);

    TUserFolders m_folders;
    std::unique_ptr<TSettingsFile> m_settings;
    QImage m_background;  // Format_RGB32
    QImage m_digits;      // the skin's, or null for the built-in one
    bool m_skinApplied = false;
    std::string m_skinError;

    std::unique_ptr<TBar> m_progress;
    std::unique_ptr<TBar> m_volume;
    std::int64_t m_position = 0;
    std::int64_t m_length = 0;
    int m_volumeLevel = 255;

    QImage m_spectrumBackground;
    QImage m_spectrumWork;
    QImage m_gradient;
};
