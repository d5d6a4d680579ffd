#include "platform/win/MessageBox.h"

#include <cstdio>

namespace quillet::win {

namespace {

std::mutex g_presenterMutex;
std::shared_ptr<MessageBoxPresenter> g_presenter;  // the one the shell or a test installed

}  // namespace

int defaultButton(UINT type) {
    static const int buttons[][3] = {
        {IDOK, IDOK, IDOK},            // MB_OK
        {IDOK, IDCANCEL, IDOK},        // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},  // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
        {IDYES, IDNO, IDYES},          // MB_YESNO
        {IDRETRY, IDCANCEL, IDRETRY},  // MB_RETRYCANCEL
    };
    const UINT kind = type & MB_TYPEMASK;
    const UINT which = (type & MB_DEFMASK) >> 8;
    if (kind >= std::size(buttons) || which > 2) return IDOK;
    return buttons[kind][which];
}

void setMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter) {
    std::lock_guard lock(g_presenterMutex);
    g_presenter = std::move(presenter);
}

std::shared_ptr<MessageBoxPresenter> messageBoxPresenter() {
    std::lock_guard lock(g_presenterMutex);
    if (!g_presenter) g_presenter = std::make_shared<StderrMessageBoxPresenter>();
    return g_presenter;
}

int StderrMessageBoxPresenter::present(HWND, const std::string& text, const std::string& caption, UINT type) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return defaultButton(type);
}

int RecordingMessageBoxPresenter::present(HWND owner, const std::string& text, const std::string& caption,
                                          UINT type) {
    std::lock_guard lock(m_mutex);
    m_boxes.push_back(Box{owner, text, caption, type, GetCurrentThreadId()});
    return m_answer != 0 ? m_answer : defaultButton(type);
}

void RecordingMessageBoxPresenter::setAnswer(int answer) {
    std::lock_guard lock(m_mutex);
    m_answer = answer;
}

std::vector<RecordingMessageBoxPresenter::Box> RecordingMessageBoxPresenter::boxes() const {
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

}  // namespace quillet::win

extern "C" int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    auto presenter = quillet::win::messageBoxPresenter();
    return presenter->present(owner, text ? text : "", caption ? caption : "Error", type);
}
