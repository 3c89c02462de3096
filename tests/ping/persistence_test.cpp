// Saving and loading the Ping control through stream, storage and property bag, and its
// design-time face.
#include "control_fixture.h"

namespace pingtest {
namespace {

struct Saved {
    int32_t packetSize, qos;
    int16_t timeout;
    bool loaded;
};

Saved read(ping::Ping& c) {
    Saved s{};
    c.get_PacketSize(&s.packetSize);
    c.get_QOSFlags(&s.qos);
    c.get_Timeout(&s.timeout);
    c.get_WinsockLoaded(&s.loaded);
    return s;
}

class PersistenceTest : public ControlTest {
  protected:
    void SetUp() override {
        ControlTest::SetUp();
        control->put_PacketSize(300);
        control->put_QOSFlags(0x28);
        control->put_Timeout(3);
        control->put_WinsockLoaded(false);
        control->put_TimeToLive(9); // not persisted
        other = ping::Ping::create(clock, pump);
    }
    void TearDown() override {
        other.reset();
        ControlTest::TearDown();
    }
    void expectRestored() {
        const Saved s = read(*other.get());
        EXPECT_EQ(s.packetSize, 300);
        EXPECT_EQ(s.qos, 0x28);
        EXPECT_EQ(s.timeout, 3);
        EXPECT_FALSE(s.loaded);
        int32_t ttl = -1;
        other->get_TimeToLive(&ttl);
        EXPECT_EQ(ttl, 0);
    }
    ComPtr<ping::Ping> other;
};

TEST_F(PersistenceTest, StreamRoundTripInTheDocumentedLayout) {
    MemoryStream stream;
    ASSERT_EQ(control->save(&stream, true), S_OK);
    const std::vector<uint8_t> expected = {0x00, 0x00, 0x01, 0x00,       // format
                                           3,    0,    0x2C, 0x01, 0, 0, // PacketSize
                                           3,    0,    0x28, 0,    0, 0, // QOSFlags
                                           2,    0,    3,    0,          // Timeout
                                           11,   0,    0,    0};         // WinsockLoaded
    EXPECT_EQ(stream.bytes, expected);
    ASSERT_EQ(other->load(&stream), S_OK);
    expectRestored();
    Guid clsid;
    EXPECT_EQ(other->getClassId(&clsid), S_OK);
    EXPECT_EQ(clsid, pinglib::CLSID_Ping);
}

TEST_F(PersistenceTest, DamagedStreamChangesNothing) {
    MemoryStream stream;
    control->save(&stream, true);
    stream.bytes.resize(stream.bytes.size() - 1);
    EXPECT_EQ(other->load(&stream), STG_E_READFAULT);
    const Saved s = read(*other.get());
    EXPECT_EQ(s.packetSize, 64);
    EXPECT_EQ(s.timeout, 10);
    EXPECT_TRUE(s.loaded);
    MemoryStream foreign;
    foreign.bytes = {1, 2, 3, 4, 3, 0, 1, 0, 0, 0};
    EXPECT_EQ(other->load(&foreign), STG_E_READFAULT);
}

TEST_F(PersistenceTest, StorageKeepsTheStreamContents) {
    MemoryStorage storage;
    ASSERT_EQ(control->save(&storage, true), S_OK);
    ASSERT_EQ(storage.streams.count("Contents"), 1u);
    MemoryStream plain;
    control->save(&plain, true);
    EXPECT_EQ(storage.streams["Contents"]->bytes, plain.bytes);
    ASSERT_EQ(other->load(&storage), S_OK);
    expectRestored();
    MemoryStorage empty;
    EXPECT_EQ(other->load(&empty), STG_E_FILENOTFOUND);
}

TEST_F(PersistenceTest, PropertyBagHoldsTheFourNamesInOrder) {
    PropertyBag bag;
    ASSERT_EQ(control->save(&bag, true, true), S_OK);
    EXPECT_EQ(bag.order,
              (std::vector<std::string>{"PacketSize", "QOSFlags", "Timeout", "WinsockLoaded"}));
    EXPECT_EQ(bag.values["Timeout"], Variant::i2(3));
    EXPECT_EQ(bag.values["WinsockLoaded"], Variant::boolean(false));
    ASSERT_EQ(other->load(&bag), S_OK);
    expectRestored();
}

TEST_F(PersistenceTest, PropertyBagFromTextKeepsMissingValuesAndRefusesBadOnes) {
    PropertyBag bag;
    bag.values["PacketSize"] = Variant::text("128");
    bag.values["WinsockLoaded"] = Variant::text("False");
    ASSERT_EQ(other->load(&bag), S_OK);
    Saved s = read(*other.get());
    EXPECT_EQ(s.packetSize, 128);
    EXPECT_EQ(s.timeout, 10);
    EXPECT_FALSE(s.loaded);

    bag.values["PacketSize"] = Variant::text("256");
    bag.values["Timeout"] = Variant::text("soon");
    EXPECT_EQ(other->load(&bag), DISP_E_TYPEMISMATCH);
    s = read(*other.get());
    EXPECT_EQ(s.packetSize, 128) << "a failed load leaves every property as it was";
}

TEST_F(ControlTest, DesignTimeFaceAndExtent) {
    int32_t width = 0, height = 0;
    ASSERT_EQ(control->getExtent(&width, &height), S_OK);
    EXPECT_EQ(width, 741); // 28 pixels at 96 dpi in 0.01 mm
    EXPECT_EQ(height, 741);

    Canvas runTime(28, 28);
    control->draw(runTime, {0, 0, 28, 28});
    EXPECT_TRUE(std::all_of(runTime.pixels.begin(), runTime.pixels.end(), [](uint32_t p) {
        return p == 0xFFFFFF;
    })) << "invisible at run time";

    Site designer(false);
    control->setClientSite(&designer);
    Canvas face(40, 40);
    control->draw(face, {4, 4, 32, 32});
    EXPECT_EQ(face.at(3, 3), 0xFFFFFFu) << "nothing outside the rectangle";
    EXPECT_EQ(face.at(4, 4), 0xDFDFDFu) << "raised edge, light side";
    EXPECT_EQ(face.at(31, 31), 0x404040u) << "raised edge, dark side";
    EXPECT_EQ(face.at(6, 6), 0x000000u) << "black rectangle";
    EXPECT_EQ(face.at(4 + 6, 4 + 7 + 14), 0x000000u) << "bitmap's bottom row at (6, 7)";
    EXPECT_EQ(face.at(4 + 6 + 15, 4 + 7 + 14), 0x000000u);
    control->setClientSite(nullptr);
}

} // namespace
} // namespace pingtest
