// What every fuzz target shares: the libFuzzer entry point, a property check that stops the
// run with the broken property named, a reader that cuts one input into several values, and
// the Qt application some targets need.
#pragma once

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A broken property is a fault like a crash: abort so that libFuzzer saves the input.
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken at %s:%d: %s\n  (%s)\n", __FILE__, __LINE__,     \
                         what, #condition);                                                        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace gw::fuzz {

// Takes values off the front of the input; an exhausted input gives zeros and empty text.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size)
        : m_text(reinterpret_cast<const char*>(data), size) {}
    bool empty() const { return m_text.empty(); }
    std::uint8_t byte() {
        if (m_text.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(m_text.front());
        m_text.remove_prefix(1);
        return b;
    }
    // Text up to the next 0xFF byte (or the end); a separator lets realistic seeds stay readable.
    std::string field() {
        const std::size_t end = m_text.find('\xFF');
        std::string out(m_text.substr(0, end));
        m_text.remove_prefix(end == std::string_view::npos ? m_text.size() : end + 1);
        return out;
    }
    std::string rest() {
        std::string out(m_text);
        m_text = {};
        return out;
    }

  private:
    std::string_view m_text;
};

// The one application object of the process, made on first use. It lives until the process
// ends: destroyed among the exit handlers, it would outlive Qt's own.
inline void ensureApplication() {
    static QCoreApplication* app = nullptr;
    if (app != nullptr) return;
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
}

} // namespace gw::fuzz
