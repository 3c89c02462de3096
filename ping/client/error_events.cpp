// The Error event's sink: answers as the event interface and passes code and text on.
#include "pingclient/error_events.h"

#include "ping/pinglib.h"

namespace pingclient {

using namespace automation;

class ErrorEvents::Sink final : public IDispatch {
  public:
    explicit Sink(Handler handler) : m_handler(std::move(handler)) {}
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != pinglib::DIID__IPingEvents)
            return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    // Lives exactly as long as its subscription, which unadvises it first.
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 1; }
    HResult getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HResult invoke(DispId id, uint16_t, std::vector<Variant>& args, Variant*, ExcepInfo*) override {
        if (id != pinglib::dispid::Error || args.size() != 2) return DISP_E_MEMBERNOTFOUND;
        if (m_handler) m_handler(args[0].toI2().value_or(0), args[1].toText().value_or(""));
        return S_OK;
    }

  private:
    Handler m_handler;
};

ErrorEvents::ErrorEvents(IUnknown& control, Handler handler)
    : m_sink(std::make_unique<Sink>(std::move(handler))) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (failed(control.queryInterface(IID_IConnectionPointContainer, container.receive())) ||
        !container ||
        failed(container->findConnectionPoint(pinglib::DIID__IPingEvents, point.out())) || !point)
        return;
    if (succeeded(point->advise(m_sink.get(), &m_cookie))) m_point = std::move(point);
}

ErrorEvents::~ErrorEvents() {
    if (m_point) m_point->unadvise(m_cookie);
}

} // namespace pingclient
