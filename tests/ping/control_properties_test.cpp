// The Ping control's properties as a host sees them: defaults, stored bits, access rules in
// design and run mode, error information and late-bound calls.
#include "control_fixture.h"

extern "C" automation::HResult DllCanUnloadNow();
extern "C" automation::HResult DllGetClassObject(const automation::Guid*, const automation::Guid*,
                                                 void**);

namespace pingtest {
namespace {

TEST_F(ControlTest, DefaultsOfANewControl) {
    int32_t number = 0;
    int16_t small = 0;
    bool loaded = false;
    std::string text = "x";
    control->get_PacketSize(&number);
    EXPECT_EQ(number, 64);
    control->get_QOSFlags(&number);
    EXPECT_EQ(number, 0);
    control->get_Timeout(&small);
    EXPECT_EQ(small, 10);
    control->get_TimeToLive(&number);
    EXPECT_EQ(number, 0);
    control->get_TypeOfService(&small);
    EXPECT_EQ(small, 8);
    control->get_SocketHandle(&number);
    EXPECT_EQ(number, -1);
    control->get_WinsockLoaded(&loaded);
    EXPECT_TRUE(loaded);
    control->get_RemoteHost(&text);
    EXPECT_EQ(text, "");
    control->get_WinsockStatus(&text);
    EXPECT_EQ(text, "Running");
    control->get_WinsockInfo(&text);
    EXPECT_EQ(text, "Fake sockets 1.1");
    control->get_WinsockMaxSockets(&number);
    EXPECT_EQ(number, 100);
    control->get_WinsockMaxDatagramSize(&number);
    EXPECT_EQ(number, 512);
    control->get_WinsockPath(&text);
    EXPECT_EQ(text, FakeSocketLibrary::kPath);
}

TEST_F(ControlTest, StoredBitsOfNumericProperties) {
    int32_t number = 0;
    int16_t small = 0;
    const std::pair<int32_t, int32_t> sizes[] = {
        {3, 8}, {-1, 65535}, {0x12345, 0x2345}, {100, 100}};
    for (auto [set, read] : sizes) {
        control->put_PacketSize(set);
        control->get_PacketSize(&number);
        EXPECT_EQ(number, read) << "PacketSize " << set;
    }
    control->put_QOSFlags(0x1FFFF);
    control->get_QOSFlags(&number);
    EXPECT_EQ(number, 0xFFFF);
    control->put_TypeOfService(0x1FF);
    control->get_TypeOfService(&small);
    EXPECT_EQ(small, 255);
    control->put_Timeout(10);
    control->get_Timeout(&small);
    EXPECT_EQ(small, 10);
    EXPECT_EQ(control->put_Timeout(-1), controlError(380));
    control->get_Timeout(&small);
    EXPECT_EQ(small, 10);
}

TEST_F(ControlTest, ReadOnlyPropertiesRefuseSettingWithTheirHelpContext) {
    const std::pair<HResult, uint32_t> refusals[] = {
        {control->put_ResponseTime(5), 24406},      {control->put_ResponseSource("x"), 24405},
        {control->put_SocketHandle(3), 24407},      {control->put_WinsockInfo("x"), 24411},
        {control->put_WinsockMaxSockets(1), 24414}, {control->put_WinsockMaxDatagramSize(1), 24413},
        {control->put_WinsockStatus("x"), 24416},
    };
    for (auto [hr, context] : refusals) {
        EXPECT_EQ(hr, controlError(383));
        EXPECT_EQ(uint32_t(hr), 0x800A017Fu);
    }
    EXPECT_EQ(control->put_ResponseTime(5), controlError(383));
    const ErrorInfo info = lastError();
    EXPECT_EQ(info.description, "Property is read-only.");
    EXPECT_EQ(info.helpContext, 24406u);
    EXPECT_EQ(info.source, "Netquill.Ping.1");
    EXPECT_FALSE(info.helpFile.empty());
}

TEST_F(ControlTest, RuntimeOnlyPropertiesRefuseReadingInDesignMode) {
    Site designer(false);
    ASSERT_EQ(control->setClientSite(&designer), S_OK);
    int32_t number = 0;
    int16_t small = 0;
    std::string text;
    EXPECT_EQ(control->get_SocketHandle(&number), controlError(394));
    EXPECT_EQ(lastError().description, "Property is runtime only (no supported in design time).");
    EXPECT_EQ(lastError().helpContext, 24407u);
    EXPECT_EQ(control->get_TimeToLive(&number), controlError(394));
    EXPECT_EQ(control->get_TypeOfService(&small), controlError(394));
    EXPECT_EQ(control->get_WinsockPath(&text), controlError(394));
    EXPECT_EQ(control->get_WinsockMaxSockets(&number), controlError(394));
    EXPECT_EQ(control->get_WinsockMaxDatagramSize(&number), controlError(394));
    // Setting them is fine while designing; the rest reads normally.
    EXPECT_EQ(control->put_TimeToLive(5), S_OK);
    EXPECT_EQ(control->get_PacketSize(&number), S_OK);
    EXPECT_EQ(control->get_WinsockStatus(&text), S_OK);

    designer.userMode = true;
    EXPECT_EQ(control->get_SocketHandle(&number), S_OK);
    EXPECT_EQ(number, -1);
    control->setClientSite(nullptr);
    EXPECT_EQ(designer.references, 1u);
}

TEST_F(ControlTest, UnloadingWinsockLeavesDownAndNoLimits) {
    ASSERT_EQ(control->put_WinsockLoaded(false), S_OK);
    bool loaded = true;
    std::string text = "x";
    int32_t number = -1;
    control->get_WinsockLoaded(&loaded);
    EXPECT_FALSE(loaded);
    control->get_WinsockStatus(&text);
    EXPECT_EQ(text, "Down");
    control->get_WinsockInfo(&text);
    EXPECT_EQ(text, "");
    control->get_WinsockMaxSockets(&number);
    EXPECT_EQ(number, 0);
    control->get_WinsockMaxDatagramSize(&number);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(net->cleanups, 1);

    EXPECT_EQ(control->PingHost("127.0.0.1"), controlError(25094));
    EXPECT_EQ(lastError().description, "[10093] Winsock not loaded yet (WSANOTINITIALISED)");
    EXPECT_TRUE(net->socketsOpened.empty());
    control->get_LocalHost(&text);
    EXPECT_EQ(text, "[10093] Winsock not loaded yet (WSANOTINITIALISED)");
    EXPECT_EQ(control->put_LocalHost("somewhere"), S_OK) << "10093 is ignored";

    ASSERT_EQ(control->put_WinsockLoaded(true), S_OK);
    control->get_WinsockStatus(&text);
    EXPECT_EQ(text, "Running");
}

TEST_F(ControlTest, WinsockIsSharedAndStaysUpWhileAnyControlHoldsIt) {
    auto second = ping::Ping::create(clock, pump);
    EXPECT_EQ(ping::WinsockState::instance().loadCount(), 2);
    second->put_WinsockLoaded(true); // already held: no second load
    EXPECT_EQ(ping::WinsockState::instance().loadCount(), 2);
    control->put_WinsockLoaded(false);
    std::string status;
    second->get_WinsockStatus(&status);
    EXPECT_EQ(status, "Running");
    answerEchoes("127.0.0.1");
    EXPECT_EQ(second->PingHost("127.0.0.1"), S_OK);
    second.reset();
    EXPECT_EQ(ping::WinsockState::instance().loadCount(), 0);
    control->get_WinsockStatus(&status);
    EXPECT_EQ(status, "Down");
}

TEST_F(ControlTest, FailedLoadsKeepTheReasonAndGiveBackTheirCount) {
    control->put_WinsockLoaded(false);
    const std::pair<int, const char*> failures[] = {
        {10092, "Version not supported."},
        {10022, "Version not supported."},
        {10091, "Network subsystem not ready."},
    };
    for (auto [result, reason] : failures) {
        net->startupResult = result;
        EXPECT_EQ(control->put_WinsockLoaded(true), S_OK) << "a failed load raises nothing";
        bool loaded = true;
        std::string info;
        control->get_WinsockLoaded(&loaded);
        control->get_WinsockInfo(&info);
        EXPECT_FALSE(loaded);
        EXPECT_EQ(info, reason);
        EXPECT_EQ(ping::WinsockState::instance().loadCount(), 0);
    }
    net->startupResult = 0;
    net->startupVersion = 0x0202;
    control->put_WinsockLoaded(true);
    std::string info;
    control->get_WinsockInfo(&info);
    EXPECT_EQ(info, "Incompatible Winsock version.");
    EXPECT_EQ(ping::WinsockState::instance().loadCount(), 0);

    control->put_WinsockPath("NOSUCH.DLL");
    control->put_WinsockLoaded(true);
    control->get_WinsockInfo(&info);
    EXPECT_EQ(info, "Could not load Winsock DLL.");
    control->put_WinsockPath("");
    control->get_WinsockPath(&info);
    EXPECT_EQ(info, "WSOCK32.DLL");
    control->put_WinsockPath(std::string(300, 'p'));
    control->get_WinsockPath(&info);
    EXPECT_EQ(info.size(), 200u);
}

TEST_F(ControlTest, LateBoundCallsByNameAndId) {
    DispId id = 0;
    EXPECT_EQ(control->getIdOfName("pinghost", &id), S_OK);
    EXPECT_EQ(id, 502);
    EXPECT_EQ(control->getIdOfName("ResponseTime", &id), S_OK);
    EXPECT_EQ(id, 6);
    EXPECT_EQ(control->getIdOfName("Nothing", &id), DISP_E_UNKNOWNNAME);

    std::vector<Variant> args{Variant::text("100")};
    Variant result;
    EXPECT_EQ(control->invoke(2, DISPATCH_PROPERTYPUT, args, nullptr, nullptr), S_OK);
    std::vector<Variant> none;
    EXPECT_EQ(control->invoke(2, DISPATCH_PROPERTYGET, none, &result, nullptr), S_OK);
    EXPECT_EQ(result, Variant::i4(100));

    std::vector<Variant> bad{Variant::text("lots")};
    EXPECT_EQ(control->invoke(2, DISPATCH_PROPERTYPUT, bad, nullptr, nullptr), DISP_E_TYPEMISMATCH);

    ExcepInfo excep;
    std::vector<Variant> time{Variant::i4(1)};
    EXPECT_EQ(control->invoke(6, DISPATCH_PROPERTYPUT, time, nullptr, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.error.result, controlError(383));
    EXPECT_EQ(excep.error.helpContext, 24406u);

    answerEchoes("127.0.0.1");
    std::vector<Variant> host{Variant::text("127.0.0.1")};
    EXPECT_EQ(control->invoke(502, DISPATCH_METHOD, host, &result, nullptr), S_OK);
    EXPECT_EQ(control->invoke(501, DISPATCH_METHOD, none, &result, nullptr), S_OK);
    EXPECT_EQ(control->invoke(6, DISPATCH_PROPERTYGET, none, &result, nullptr), S_OK);
    EXPECT_EQ(result.type(), VarType::I4);
    EXPECT_EQ(control->invoke(502, DISPATCH_METHOD, none, &result, nullptr), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(control->invoke(77, DISPATCH_METHOD, none, &result, nullptr), DISP_E_MEMBERNOTFOUND);

    net->onSend = nullptr;
    pump.script = nullptr;
    std::vector<Variant> unknown{Variant::text("nowhere.example")};
    EXPECT_EQ(control->invoke(502, DISPATCH_METHOD, unknown, &result, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.error.result, controlError(26002));
    EXPECT_EQ(excep.error.description, "[11001] Host not found");
}

TEST_F(ControlTest, ResultCodesBecomeErrorNumbersAndTexts) {
    using ping::Ping;
    EXPECT_EQ(Ping::describeResult(0, std::nullopt, 1).result, S_OK);
    EXPECT_EQ(Ping::describeResult(200, std::nullopt, 1).result, controlError(7));
    EXPECT_EQ(Ping::describeResult(200, std::nullopt, 1).description, "Out of memory.");
    EXPECT_EQ(Ping::describeResult(301, std::nullopt, 1).description, "Interrupted.");
    EXPECT_EQ(Ping::describeResult(42, std::nullopt, 1).description, "No description available.");
    EXPECT_EQ(Ping::describeResult(42, std::nullopt, 1).result, controlError(20043));
    EXPECT_EQ(Ping::describeResult(10000, std::nullopt, 1).result, controlError(30001));
    EXPECT_EQ(Ping::describeResult(10001, std::nullopt, 1).result, controlError(25002));
    EXPECT_EQ(Ping::describeResult(10001, std::nullopt, 1).description,
              "[10001] (no description available)");
    EXPECT_EQ(Ping::describeResult(10013, std::string("why"), 1).description, "why");
}

TEST_F(ControlTest, ModuleCountsObjectsAndLocks) {
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    control.reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(&pinglib::IID_IPing, &IID_IClassFactory, factory.receive()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(DllGetClassObject(&pinglib::CLSID_Ping, &IID_IClassFactory, factory.receive()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    factory->lockServer(true);
    factory.reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ASSERT_EQ(DllGetClassObject(&pinglib::CLSID_Ping, &IID_IClassFactory, factory.receive()), S_OK);
    factory->lockServer(false);
    Site outer(true);
    ComPtr<IUnknown> object;
    EXPECT_EQ(factory->createInstance(&outer, IID_IUnknown, object.receive()),
              CLASS_E_NOAGGREGATION);
    factory.reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

} // namespace
} // namespace pingtest
