// Fuzzes the reading of a TNC start-up file with hostile content: every command handed out
// is one trimmed, non-empty line without its remark, the reader ends, and after the end a new
// reading starts again from the first command.
#include "../tnc/tnc_fakes.h"
#include "common/text.h"
#include "fuzz_support.h"

#include <QDir>
#include <QFile>

using namespace gw;

namespace {
std::vector<std::string> readAllCommands(TncDispatch& dispatch, const std::string& path,
                                         std::size_t bound) {
    std::vector<std::string> commands;
    for (std::string c = dispatch.ReadStartupFile(path); !c.empty();
         c = dispatch.ReadStartupFile(path)) {
        commands.push_back(c);
        FUZZ_CHECK(commands.size() <= bound, "the reader ends");
    }
    return commands;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    static gw::test::Rig rig;
    const std::string path = rig.dir.filePath("KPC3.aps").toStdString();
    {
        QFile file(QString::fromStdString(path));
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the file is written");
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const std::vector<std::string> first = readAllCommands(rig.dispatch, path, size + 1);
    for (const std::string& command : first) {
        FUZZ_CHECK(command.find_first_of("\r\n") == std::string::npos, "one line per command");
        FUZZ_CHECK(command.find(';') == std::string::npos, "remarks are left out");
        FUZZ_CHECK(gw::trim(command) == command, "commands are trimmed");
    }
    FUZZ_CHECK(readAllCommands(rig.dispatch, path, size + 1) == first,
               "a new reading starts from the first command");
    return 0;
}
