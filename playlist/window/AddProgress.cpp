#include "playlist/window/AddProgress.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

TAddProgress::TAddProgress(IPlayListEngine& engine, IPlayListDialogs& dialogs)
    : m_engine(engine), m_dialogs(dialogs) {}

TAddProgress::~TAddProgress() = default;

void TAddProgress::Expect(std::size_t count) {
    finish();
    m_total = count;
    m_done = 0;
    m_cancelled = false;
    m_longest = 0;
    m_lastStep = 0;
    m_clock.start();
}

void TAddProgress::finish() {
    m_total = m_done = 0;
    m_dialog.reset();
}

bool TAddProgress::step(const std::function<bool()>& read) {
    if (m_total == 0) return read();  // not part of a counted add
    const bool ok = !m_cancelled && read();
    ++m_done;
    if (!m_dialog && m_done < m_total && m_clock.elapsed() >= kDialogDelay) {
        m_dialog =
            std::make_unique<QProgressDialog>(QString::fromUtf8("正在添加文件..."), QString::fromUtf8("取消"),
                                              0, int(std::min<std::size_t>(m_total, INT32_MAX)));
        m_dialog->setWindowTitle(QStringLiteral("Quillet"));
        m_dialog->setWindowRole("progress");
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->show();
    }
    if (m_dialog) {
        m_dialog->setValue(int(std::min<std::size_t>(m_done, INT32_MAX)));
        if (m_dialog->wasCanceled()) m_cancelled = true;
    }
    if (m_done >= m_total) {
        finish();
        return ok;
    }
    // Until the modal dialog shows, user input waits: a command started now
    // would change the list being filled.
    const qint64 before = m_clock.elapsed();
    QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    m_longest = std::max(m_longest, before - m_lastStep);
    m_lastStep = m_clock.elapsed();
    return ok;
}

bool TAddProgress::GetStreamInfo(const std::string& name, TStreamInfo& info) {
    return step([&] { return m_engine.GetStreamInfo(name, info); });
}

bool TAddProgress::Open(const std::string& name) {
    return step([&] { return m_engine.Open(name); });
}

bool TAddProgress::OpenFiles(const std::string& filter, std::vector<std::string>& files) {
    const bool chosen = m_dialogs.OpenFiles(filter, files);
    if (chosen) Expect(files.size());
    return chosen;
}

void TAddProgress::ShowMessage(const std::string& text, const std::string& caption, TMsgIcon icon) {
    if (m_holding) {
        m_held.push_back({text, caption, icon});
        return;
    }
    m_dialogs.ShowMessage(text, caption, icon);
}

void TAddProgress::ReleaseMessages() {
    m_holding = false;
    std::vector<Held> held;
    held.swap(m_held);
    for (const Held& h : held) m_dialogs.ShowMessage(h.text, h.caption, h.icon);
}

std::vector<std::string> ExpandDropped(const std::vector<std::string>& paths, const std::string& patterns) {
    QStringList filters;
    for (const QString& p : QString::fromStdString(patterns).split(';', Qt::SkipEmptyParts))
        filters << p.trimmed();
    std::vector<std::string> out;
    for (const std::string& path : paths) {
        const QFileInfo info(QString::fromStdString(path));
        if (!info.isDir()) {
            if (info.exists()) out.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        QDirIterator it(info.filePath(), filters, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
        while (it.hasNext()) found.push_back(it.next().toStdString());
        std::sort(found.begin(), found.end());
        out.insert(out.end(), found.begin(), found.end());
    }
    return out;
}
