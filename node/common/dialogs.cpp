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

} // namespace gw
