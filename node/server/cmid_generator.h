// CMidGenerator: message identifiers for new messages, the prefix followed by random
// characters from "0-9A-Z" up to 12 characters in all.
#pragma once

#include <string>

namespace gw {

class CMidGenerator {
  public:
    static constexpr std::size_t kMidLength = 12;
    static constexpr const char* kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

    // Makes a first MID with an empty prefix, so LastMid is never empty.
    CMidGenerator();

    // Sets the prefix and at once makes a new MID with it.
    void Tag(const std::string& sNewTag);
    const std::string& Tag() const { return m_tag; }
    std::string NewMid();
    const std::string& LastMid() const { return m_lastMid; }

  private:
    std::string m_tag;
    std::string m_lastMid;
};

} // namespace gw
