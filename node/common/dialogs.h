// Message boxes to the operator. The desktop shows Qt message boxes (the windows' own
// implementation); a headless node writes the text to stderr and the log and carries on as
// if OK was pressed.
#pragma once

#include "common/journal.h"

#include <functional>
#include <string>

namespace gw {

// The title of the program's own message boxes, where no other title is given.
inline constexpr const char* kProgramTitle = "Gullwick";

enum class DialogIcon { None, Critical, Exclamation, Information };
enum class DialogButtons { Ok, OkCancel };
enum class DialogAnswer { Ok, Cancel };

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual DialogAnswer message(DialogIcon icon, const std::string& title, const std::string& text,
                                 DialogButtons buttons = DialogButtons::Ok) = 0;
};

class HeadlessDialogs final : public Dialogs {
  public:
    // Where each message goes once the node's log is open (the log, and the journal with
    // the message's priority); until then it goes to the journal alone.
    using Sink = std::function<void(JournalPriority, const std::string&)>;
    void setLogSink(Sink sink) { m_sink = std::move(sink); }
    DialogAnswer message(DialogIcon icon, const std::string& title, const std::string& text,
                         DialogButtons buttons) override;

  private:
    Sink m_sink;
};

} // namespace gw
