// Creating and calling the ping control through the automation contract only: the node never
// links the ping library, it loads whatever module the class registry names.
#include "ip/ping_control.h"

#include "common/node_error.h"
#include "ping/pinglib.h"
#include "pingclient/class_registry.h"
#include "pingclient/error_events.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace gw {

using namespace automation;

PingControl::PingControl(ComPtr<IDispatch> control)
    : m_control(std::move(control)),
      m_events(std::make_unique<pingclient::ErrorEvents>(
          *m_control.get(), [this](std::int16_t code, const std::string& description) {
              if (m_onError) m_onError(code, description);
          })) {}

PingControl::~PingControl() = default;

// Installed, the library lies in the package's private folder (it is loaded by path, never
// linked, so it stays out of the linker's folders); in the build tree, beside the program.
// Both are found from the program's own folder: no path of the machine that built it.
std::vector<std::string> PingControl::libraryCandidates() {
    const QString bin = QCoreApplication::applicationDirPath();
    return {
        (bin + "/../" GULLWICK_INSTALL_LIBDIR "/gullwick/libping.so").toStdString(),
        (bin + "/libping.so").toStdString(),
    };
}

std::unique_ptr<PingControl> PingControl::create(const std::vector<std::string>& modules,
                                                 std::string* problem) {
    ComPtr<IDispatch> control;
    std::string why;
    if (succeeded(pingclient::createInstance(pinglib::CLSID_Ping, IID_IDispatch, control.receive(),
                                             &why)))
        return std::make_unique<PingControl>(control);
    for (const std::string& module : modules) {
        const QFileInfo file(QString::fromStdString(module));
        if (!file.isFile()) continue;
        std::string registration;
        if (failed(pingclient::registerServer(file.canonicalFilePath().toStdString(), false,
                                              &registration))) {
            why += "; registering " + module + " failed: " + registration;
            continue;
        }
        if (succeeded(pingclient::createInstance(pinglib::CLSID_Ping, IID_IDispatch,
                                                 control.receive(), &why)))
            return std::make_unique<PingControl>(control);
    }
    if (problem) *problem = why;
    return nullptr;
}

Variant PingControl::call(DispId id, std::uint16_t flags, std::vector<Variant> args) {
    Variant result;
    ExcepInfo excep;
    const HResult hr = m_control->invoke(id, flags, args, &result, &excep);
    if (hr == DISP_E_EXCEPTION)
        throw NodeError(errorNumber(excep.error.result), excep.error.source,
                        excep.error.description);
    if (failed(hr)) throw NodeError(errorNumber(hr), pinglib::kProgId, "Automation error");
    return result;
}

void PingControl::setTimeout(std::int16_t seconds) {
    call(pinglib::dispid::Timeout, DISPATCH_PROPERTYPUT, {Variant::i2(seconds)});
}

void PingControl::PingHost(const std::string& host) {
    call(pinglib::dispid::PingHost, DISPATCH_METHOD, {Variant::text(host)});
}

long PingControl::ResponseTime() {
    return call(pinglib::dispid::ResponseTime, DISPATCH_PROPERTYGET, {}).toI4().value_or(0);
}

void PingControl::DoEvents() {
    call(pinglib::dispid::DoEvents, DISPATCH_METHOD, {});
}

long PingControl::pingStep(const std::string& host, std::int16_t timeoutSeconds) {
    setTimeout(timeoutSeconds);
    PingHost(host);
    // PingHost returns only once the answer is in; a zero time is an answer quicker than the
    // control's clock, so one round of pending events (a late Error event) is all we wait.
    long milliseconds = ResponseTime();
    if (milliseconds == 0) {
        DoEvents();
        milliseconds = ResponseTime();
    }
    return milliseconds;
}

} // namespace gw
