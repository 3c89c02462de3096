// Creating and calling the ping control through the automation contract only: the node never
// links the ping library, it loads whatever module the class registry names.
#include "ip/ping_control.h"

#include "common/node_error.h"
#include "ping/pinglib.h"
#include "pingclient/class_registry.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace gw {

using namespace automation;

// Receives _IPingEvents and hands the Error event to the owner's handler.
class PingControl::Sink final : public IDispatch {
  public:
    explicit Sink(PingControl& owner) : m_owner(owner) {}
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != pinglib::DIID__IPingEvents)
            return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    // Lives exactly as long as its owner, which unadvises it first.
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 1; }
    HResult getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HResult invoke(DispId id, uint16_t, std::vector<Variant>& args, Variant*, ExcepInfo*) override {
        if (id != pinglib::dispid::Error || args.size() != 2) return DISP_E_MEMBERNOTFOUND;
        if (m_owner.m_onError)
            m_owner.m_onError(args[0].toI2().value_or(0), args[1].toText().value_or(""));
        return S_OK;
    }

  private:
    PingControl& m_owner;
};

PingControl::PingControl(ComPtr<IDispatch> control)
    : m_control(std::move(control)), m_sink(std::make_unique<Sink>(*this)) {
    auto container = m_control.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (container &&
        succeeded(container->findConnectionPoint(pinglib::DIID__IPingEvents, m_point.out())))
        m_point->advise(m_sink.get(), &m_cookie);
}

PingControl::~PingControl() {
    if (m_point) m_point->unadvise(m_cookie);
}

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
