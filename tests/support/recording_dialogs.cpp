// The recording message boxes.
#include "support/recording_dialogs.h"

namespace gw {

DialogAnswer RecordingDialogs::message(DialogIcon icon, const std::string& title,
                                       const std::string& text, DialogButtons buttons) {
    m_shown.push_back({icon, title, text, buttons});
    if (m_answers.empty()) return DialogAnswer::Ok;
    const DialogAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

} // namespace gw
