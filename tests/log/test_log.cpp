// The diagnostic log: silent unless QUILLET_LOG is exactly "1".
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "platform/log/Log.h"

namespace {

// Sets or removes QUILLET_LOG for one case and puts the old value back.
class ScopedLogSetting {
  public:
    explicit ScopedLogSetting(const char* value) {
        if (const char* old = getenv("QUILLET_LOG")) m_old = old;
        if (value)
            setenv("QUILLET_LOG", value, 1);
        else
            unsetenv("QUILLET_LOG");
    }
    ~ScopedLogSetting() {
        if (m_old)
            setenv("QUILLET_LOG", m_old->c_str(), 1);
        else
            unsetenv("QUILLET_LOG");
    }
    ScopedLogSetting(const ScopedLogSetting&) = delete;
    ScopedLogSetting& operator=(const ScopedLogSetting&) = delete;

  private:
    std::optional<std::string> m_old;
};

std::string logged(const char* setting, std::string_view where, std::string_view what) {
    ScopedLogSetting scoped(setting);
    testing::internal::CaptureStderr();
    quillet::log::write(where, what);
    return testing::internal::GetCapturedStderr();
}

TEST(Log, OnlyTheValueOneTurnsItOn) {
    struct Case {
        const char* value;
        bool on;
    };
    const Case cases[] = {{nullptr, false}, {"", false},   {"0", false}, {"yes", false},
                          {"10", false},    {" 1", false}, {"1", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        {
            ScopedLogSetting scoped(c.value);
            EXPECT_EQ(quillet::log::enabled(), c.on);
        }
        EXPECT_EQ(logged(c.value, "engine", "x").empty(), !c.on);
    }
}

TEST(Log, WritesOneLineNamingWhereAndWhat) {
    EXPECT_EQ(logged("1", "audio", "cannot reach the sound server: Connection refused"),
              "quillet: audio: cannot reach the sound server: Connection refused\n");
    // The text is written as given, a NUL included.
    EXPECT_EQ(logged("1", "engine", std::string_view("a\0b", 3)), std::string("quillet: engine: a\0b\n", 21));
}

}  // namespace
