// The operator's message boxes as Qt message boxes over the window he is working in.
#pragma once

#include "common/dialogs.h"

#include <vector>

class QMessageBox;

namespace gw {

class QtDialogs final : public Dialogs {
  public:
    DialogAnswer message(DialogIcon icon, const std::string& title, const std::string& text,
                         DialogButtons buttons) override;
    // Closes the boxes waiting for the operator, each answered Cancel: a stop does not wait
    // for someone to click.
    void closeAll();

  private:
    // The boxes on screen, innermost last.
    std::vector<QMessageBox*> m_open;
};

} // namespace gw
