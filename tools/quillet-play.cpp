// quillet-play [--device N] [--single] FILE...
// A headless player: plays the files one after the other through the engine, as the
// playlist does at the end of a track, prints the engine's events on stdout and takes
// commands from stdin. See the README's Tools section for the lines and commands.
//
// The main thread owns the engine and runs the message loop; a reader thread hands
// stdin lines (and SIGINT/SIGTERM, taken as "quit") to it through a message window.
// Commands run one at a time, never inside one of the engine's message waits, so each
// command sees the state the previous one left.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/VAVIVerovu.h"
#include "platform/win/MessageBox.h"
#include "platform/win/MessageLayer.h"
#include "tools/LineReader.h"
#include "tools/PlayCommands.h"
#include "tools/ToolText.h"

namespace {

using quillet::tools::PlayCommand;

constexpr UINT WM_TOOL_COMMAND = WM_APP + 1;     // a line is waiting in the command queue
constexpr UINT WM_TOOL_STREAM_LOST = WM_APP + 2;  // the engine closed the stream by itself
constexpr UINT_PTR kPositionTimer = 1;
constexpr UINT kPositionIntervalMs = 1000;
constexpr uint32_t kMuteFadeMs = 500;

constexpr int kExitNothingPlayable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitEngineFailed = 3;

// Whole lines on stdout, flushed at once; any thread.
class Output {
  public:
    void line(const std::string& text) {
        std::lock_guard lock(m_mutex);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

  private:
    std::mutex m_mutex;
};

// Every engine message box becomes an "error" line, answered with its default button.
class ErrorLinePresenter : public quillet::win::MessageBoxPresenter {
  public:
    explicit ErrorLinePresenter(Output& out) : m_out(out) {}
    int present(HWND, const std::string& text, const std::string&, UINT type) override {
        m_out.line("error " + quillet::tools::oneLine(text));
        return quillet::win::defaultButton(type);
    }

  private:
    Output& m_out;
};

struct Options {
    int device = TVAVIVerovu::kDefaultDevice;
    bool single = false;
    std::vector<std::string> files;
};

bool parseOptions(int argc, char** argv, Options& options) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--single") {
            options.single = true;
        } else if (arg == "--device" && i + 1 < argc) {
            const std::string_view value = argv[++i];
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), options.device);
            if (error != std::errc() || end != value.data() + value.size()) return false;
        } else if (arg == "--") {
            ++i;
            break;
        } else if (arg.starts_with("--")) {
            return false;
        } else {
            break;
        }
    }
    for (; i < argc; ++i) options.files.emplace_back(argv[i]);
    return !options.files.empty();
}

class PlayTool {
  public:
    PlayTool(Options options, Output& out) : m_options(std::move(options)), m_out(out) {}

    int run(int signalFd);

    // Reader thread: queue a line for the main thread.
    void enqueue(std::string line) {
        {
            std::lock_guard lock(m_queueMutex);
            m_queue.push_back(std::move(line));
        }
        PostMessage(m_window, WM_TOOL_COMMAND, 0, 0);
    }

  private:
    static LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void runCommands();
    void runCommand(const std::string& line);
    bool openAndPlay(const std::string& name);
    void playOnFrom(bool failedBefore);
    void quit(int code);

    void onModeChange(TPlayerMode oldMode, TPlayerMode newMode);
    void onPlayEnd();

    Options m_options;
    Output& m_out;
    HWND m_window = nullptr;
    std::unique_ptr<TVAVIVerovu> m_engine;
    size_t m_next = 0;       // the next file of the list to open
    bool m_opening = false;  // inside our own Open
    bool m_quitting = false;
    int m_exitCode = 0;
    std::mutex m_queueMutex;
    std::deque<std::string> m_queue;
};

LRESULT PlayTool::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return TRUE;
    }
    auto* self = reinterpret_cast<PlayTool*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
        case WM_TOOL_COMMAND:
            // Inside an engine wait the commands stay queued; the loop runs them after
            // the wait has returned.
            if (quillet::win::MessageWaitDepth() == 0) self->runCommands();
            return 0;
        case WM_TOOL_STREAM_LOST:
            if (!self->m_quitting && self->m_engine->Mode() == plmStandby) self->playOnFrom(true);
            return 0;
        case WM_TIMER:
            if (wParam == kPositionTimer && self->m_engine && self->m_engine->Mode() == plmPlaying) {
                self->m_out.line("pos " + std::to_string(self->m_engine->Position()) + " " +
                                 std::to_string(self->m_engine->PlayLength()));
            }
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void PlayTool::quit(int code) {
    if (m_quitting) return;
    m_quitting = true;
    m_exitCode = code;
    PostQuitMessage(code);
}

bool PlayTool::openAndPlay(const std::string& name) {
    m_opening = true;
    const bool opened = m_engine->Open(name);
    m_opening = false;
    if (!opened) return false;
    m_engine->Play();
    return m_engine->Mode() == plmPlaying;
}

// Opens and plays the files from m_next on until one plays; quits when none is left
// (1 when a file failed on the way, else 0).
void PlayTool::playOnFrom(bool failedBefore) {
    bool failed = failedBefore;
    while (m_next < m_options.files.size() && !m_quitting) {
        if (openAndPlay(m_options.files[m_next++])) return;
        failed = true;
    }
    quit(failed ? kExitNothingPlayable : 0);
}

void PlayTool::onModeChange(TPlayerMode oldMode, TPlayerMode newMode) {
    m_out.line(std::string("mode ") + PlayerModeName(oldMode) + " " + PlayerModeName(newMode));
    // A stream closed by the engine itself (its output lost the source) ends the
    // track like an end of file, except that it counts as a failure.
    if (newMode == plmStandby && !m_opening) PostMessage(m_window, WM_TOOL_STREAM_LOST, 0, 0);
}

void PlayTool::onPlayEnd() {
    m_out.line("end");
    if (!m_quitting) playOnFrom(false);
}

void PlayTool::runCommands() {
    for (;;) {
        std::string line;
        {
            std::lock_guard lock(m_queueMutex);
            if (m_queue.empty()) return;
            line = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (!m_quitting) runCommand(line);
    }
}

void PlayTool::runCommand(const std::string& line) {
    const auto parsed = quillet::tools::parsePlayCommand(line);
    if (!parsed) {
        std::fprintf(stderr, "quillet-play: unknown command: %s\n", quillet::tools::oneLine(line).c_str());
        return;
    }
    TVAVIVerovu& engine = *m_engine;
    switch (parsed->command) {
        case PlayCommand::Pause: engine.Pause(true); break;
        case PlayCommand::Resume: engine.Pause(false); break;
        case PlayCommand::Play: engine.Play(); break;
        case PlayCommand::Stop: engine.Stop(); break;
        case PlayCommand::Seek: engine.SetPosition(parsed->value); break;
        case PlayCommand::Volume: engine.SetVolume(parsed->value); break;
        case PlayCommand::Mute: engine.SetMuted(true, kMuteFadeMs); break;
        case PlayCommand::Unmute: engine.SetMuted(false, kMuteFadeMs); break;
        case PlayCommand::Next:
            if (m_next < m_options.files.size()) {
                // A file that cannot be opened leaves the current one playing; one that
                // opened but could not start leaves nothing playing: go on down the list.
                if (!openAndPlay(m_options.files[m_next++]) && engine.Mode() == plmReady) playOnFrom(true);
            } else {
                std::fprintf(stderr, "quillet-play: no next file\n");
            }
            break;
        case PlayCommand::Quit: quit(0); break;
    }
}

int PlayTool::run(int signalFd) {
    quillet::win::EnsureThreadQueue();
    WNDCLASS wc{};
    wc.lpfnWndProc = &PlayTool::WindowProc;
    wc.lpszClassName = "QuilletPlayTool";
    RegisterClass(&wc);
    m_window = CreateWindowEx(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, this);
    if (!m_window) {
        std::fprintf(stderr, "quillet-play: cannot create the message window\n");
        return kExitEngineFailed;
    }

    m_engine = std::make_unique<TVAVIVerovu>(nullptr, m_options.device);
    if (!m_engine->BASSReady()) {
        std::fprintf(stderr, "quillet-play: the audio library could not start on device %d\n", m_options.device);
        m_engine.reset();
        DestroyWindow(m_window);
        return kExitEngineFailed;
    }
    m_engine->SetSingleChannel(m_options.single);
    m_engine->OnModeChange = [this](TVAVIVerovu*, TPlayerMode oldMode, TPlayerMode newMode) {
        onModeChange(oldMode, newMode);
    };
    m_engine->OnPlayEnd = [this](TVAVIVerovu*) { onPlayEnd(); };
    m_engine->OnGetMeta = [this](TVAVIVerovu*, const std::string& title) {
        m_out.line("title " + quillet::tools::oneLine(title));
    };
    m_engine->OnDownloaded = [this](TVAVIVerovu*, uint32_t ms) { m_out.line("downloaded " + std::to_string(ms)); };

    quillet::tools::LineReader reader(
        STDIN_FILENO, signalFd, [this](std::string line) { enqueue(std::move(line)); },
        [this] { enqueue("quit"); });
    reader.start();
    SetTimer(m_window, kPositionTimer, kPositionIntervalMs, nullptr);

    playOnFrom(false);
    if (!m_quitting) runCommands();  // those that came during the first start's waits
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
        if (!m_quitting) runCommands();
    }

    // Outside every message wait now: the engine may go. Nothing is reported after
    // the loop has ended.
    reader.stop();
    KillTimer(m_window, kPositionTimer);
    m_engine->OnModeChange = nullptr;
    m_engine->OnPlayEnd = nullptr;
    m_engine->OnGetMeta = nullptr;
    m_engine->OnDownloaded = nullptr;
    m_engine.reset();
    DestroyWindow(m_window);
    UnregisterClass(wc.lpszClassName, nullptr);
    return m_exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: quillet-play [--device N] [--single] FILE...\n");
        return kExitUsage;
    }
    // SIGINT and SIGTERM become "quit" through the reader thread; blocked here,
    // before any thread starts, so that every thread inherits the mask.
    signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    Output out;
    quillet::win::setMessageBoxPresenter(std::make_shared<ErrorLinePresenter>(out));
    int code;
    {
        PlayTool tool(std::move(options), out);
        code = tool.run(signalFd);
    }
    quillet::win::setMessageBoxPresenter(nullptr);
    if (signalFd >= 0) close(signalFd);
    return code;
}
