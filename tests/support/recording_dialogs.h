// Message boxes for tests: each box is recorded and answered at once, with queued answers
// first and OK once they run out.
#pragma once

#include "common/dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace gw {

class RecordingDialogs final : public Dialogs {
  public:
    struct Shown {
        DialogIcon icon;
        std::string title;
        std::string text;
        DialogButtons buttons;
    };
    DialogAnswer message(DialogIcon icon, const std::string& title, const std::string& text,
                         DialogButtons buttons) override;
    // Answers given to the next boxes, in order; OK once they run out.
    void queueAnswer(DialogAnswer answer) { m_answers.push_back(answer); }
    const std::vector<Shown>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

  private:
    std::vector<Shown> m_shown;
    std::deque<DialogAnswer> m_answers;
};

} // namespace gw
