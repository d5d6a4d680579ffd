#include "shell/DesktopSession.h"

#include <QTimer>

#include "shell/UMainApp.h"
#include "shell/Ufuncs.h"

namespace {
constexpr int kRetryMs = 10;  // while a wait is active
}

bool OpenNames(TMainApp& app, const std::vector<std::string>& names) {
    IMiniPlaylist* playlist = app.Playlist();
    TPlayListModel* model = app.Model();
    TVAVIVerovu* player = app.Player();
    if (app.Closed() || playlist == nullptr || model == nullptr || player == nullptr) return false;
    playlist->SelectTemporaryList();
    const std::vector<std::size_t> added = model->AddNamesToList(names);
    if (!added.empty()) player->Close();
    // Played as a double click on the entry plays it: the temporary list
    // becomes the playing list and the entry the current one, so the next
    // track is the one after it. A name the engine describes but cannot open
    // gets the engine's message, and the next one is tried.
    for (std::size_t row : added) {
        if (model->ListDblClick(int(row))) {
            app.Form().TotalTimeText = FormatDuration(player->PlayLength());
            return true;
        }
    }
    return false;
}

void HandOver(TMainApp& app, const std::vector<std::string>& names) {
    if (app.Closed()) return;
    if (names.empty()) {
        if (IMiniPlaylist* playlist = app.Playlist()) playlist->ShowWindow();
        return;
    }
    OpenNames(app, names);
}

TCommandQueue::TCommandQueue(std::function<bool()> idle) : m_idle(std::move(idle)) {}

TCommandQueue::~TCommandQueue() = default;

void TCommandQueue::Enqueue(std::function<void()> command) {
    m_queue.push_back(std::move(command));
    schedule(0);
}

void TCommandQueue::schedule(int delayMs) {
    if (m_scheduled || m_queue.empty()) return;
    m_scheduled = true;
    QTimer::singleShot(delayMs, &m_context, [this] { run(); });
}

void TCommandQueue::run() {
    m_scheduled = false;
    if (m_queue.empty()) return;
    if (m_running || (m_idle && !m_idle())) {
        schedule(kRetryMs);
        return;
    }
    m_running = true;
    const std::function<void()> command = std::move(m_queue.front());
    m_queue.pop_front();
    command();
    m_running = false;
    schedule(0);
}
