// Message boxes to the operator.
#include "common/dialogs.h"

namespace gw {

DialogAnswer HeadlessDialogs::message(DialogIcon icon, const std::string& title,
                                      const std::string& text, DialogButtons) {
    const std::string line = title.empty() ? text : title + ": " + text;
    const JournalPriority priority = icon == DialogIcon::Critical      ? JournalPriority::Error
                                     : icon == DialogIcon::Exclamation ? JournalPriority::Warning
                                                                       : JournalPriority::Info;
    if (m_sink)
        m_sink(priority, line);
    else
        writeJournal(priority, line);
    return DialogAnswer::Ok;
}

DialogAnswer RecordingDialogs::message(DialogIcon icon, const std::string& title,
                                       const std::string& text, DialogButtons buttons) {
    m_shown.push_back({icon, title, text, buttons});
    if (m_answers.empty()) return DialogAnswer::Ok;
    const DialogAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

} // namespace gw
