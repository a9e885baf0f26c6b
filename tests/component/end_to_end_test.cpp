// File: tests/component/end_to_end_test.cpp
//
// Terminal operations through the automation object, late bound as script
// clients call them, against the emulator on the virtual line (virtual time:
// the protocol's waits cost nothing).

#include <memory>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "terminal/n_cst_mvcomm.h"
#include "tests/component/component_fixture.h"
#include "tests/component/dispatch_helpers.h"

namespace mvcomm::component::testing {
namespace {

class EndToEnd : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    terminal_ = &emulator_.addTerminal(5);
    // Objects made from now on talk to the emulator; neither is owned here.
    saved_ = n_cst_mvcomm::setDefaultEnvironment(
        {std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &line_.opener()),
         std::shared_ptr<Clock>(std::shared_ptr<void>(), &line_.clock())});
    object_ = create();
    ASSERT_NE(object_, nullptr);
    ASSERT_EQ(invoke(object_, u"commport", DISPATCH_PROPERTYPUT, {i2(1)}, nullptr), S_OK);
    ASSERT_EQ(invoke(object_, u"bautrate", DISPATCH_PROPERTYPUT, {i2(9600)}, nullptr), S_OK);
  }
  void TearDown() override {
    if (object_ != nullptr) object_->Release();
    n_cst_mvcomm::setDefaultEnvironment(saved_);
    ComponentTest::TearDown();
  }

  LONG getLong(const char16_t* name) {
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(invoke(object_, name, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I4);
    return r.lVal;
  }
  std::u16string getText(const char16_t* name) {
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(invoke(object_, name, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    std::u16string text = r.vt == VT_BSTR && r.bstrVal != nullptr ? r.bstrVal : u"";
    VariantClear(&r);
    return text;
  }
  // Calls a method on machine `machine` with `more` after it.
  HRESULT onMachine(const char16_t* method, const char16_t* machine, std::vector<VARIANT> more = {}) {
    Bstr m(machine);
    more.insert(more.begin(), bstr(m.get()));
    return invoke(object_, method, DISPATCH_METHOD, more, nullptr);
  }

  emulator::Emulator emulator_;
  emulator::VirtualLine line_{emulator_};
  emulator::Terminal* terminal_ = nullptr;
  n_cst_mvcomm::Environment saved_;
  IMVComm* object_ = nullptr;
};

TEST_F(EndToEnd, ReadBrowseAndClearRecords) {
  ASSERT_TRUE(terminal_->addRecord(emulator::Record{{2002, 10, 27}, 258, 3, 14, 30}));
  ASSERT_TRUE(terminal_->addRecord(emulator::Record{{2002, 10, 28}, 300, 8, 8, 5}));

  ASSERT_EQ(onMachine(u"readdata", u"5", {date(37556), date(37557)}), S_OK);
  EXPECT_EQ(getLong(u"errorcode"), 0) << std::string(getText(u"errormessage").begin(), getText(u"errormessage").end());
  ASSERT_EQ(getLong(u"rsrows"), 2);

  ASSERT_EQ(invoke(object_, u"moverecord", DISPATCH_METHOD, {i4(1), i4(1)}, nullptr), S_OK);
  EXPECT_EQ(getLong(u"rsemployeeid"), 258);
  EXPECT_EQ(getText(u"rsworkclass"), u"3");
  DATE when = 0;
  ASSERT_EQ(object_->get_rscardedtime(&when), S_OK);
  EXPECT_NEAR(when, 37556 + (14 * 60 + 30) / 1440.0, 1e-6);

  ASSERT_EQ(onMachine(u"cleardata", u"5"), S_OK);
  EXPECT_EQ(getLong(u"errorcode"), 0);
  EXPECT_TRUE(terminal_->records().empty());
}

TEST_F(EndToEnd, SetTheClock) {
  const DATE noon = 37556.5;  // 2002-10-27 12:00:00
  ASSERT_EQ(onMachine(u"setclock", u"5", {date(noon)}), S_OK);
  EXPECT_EQ(getLong(u"errorcode"), 0);
  const auto clock = terminal_->clockAt(line_.now());
  ASSERT_TRUE(clock.has_value());
  EXPECT_EQ(clock->date.year, 2002);
  EXPECT_EQ(clock->date.month, 10);
  EXPECT_EQ(clock->date.day, 27);
  EXPECT_EQ(clock->hour, 12);
}

TEST_F(EndToEnd, ReferenceTableBothWays) {
  ASSERT_EQ(invoke(object_, u"rtbeginwrite", DISPATCH_METHOD, {i4(2)}, nullptr), S_OK);
  ASSERT_EQ(invoke(object_, u"rtwriterecord", DISPATCH_METHOD, {i4(1), i4(11), i4(1111)}, nullptr), S_OK);
  ASSERT_EQ(invoke(object_, u"rtwriterecord", DISPATCH_METHOD, {i4(2), i4(22), i4(2222)}, nullptr), S_OK);
  ASSERT_EQ(onMachine(u"writerefertable", u"5"), S_OK);
  ASSERT_EQ(getLong(u"errorcode"), 0);
  const auto table = terminal_->referenceTable();
  ASSERT_GE(table.size(), 2u);
  EXPECT_EQ(table[0], (emulator::ReferenceRow{11, 1111}));
  EXPECT_EQ(table[1], (emulator::ReferenceRow{22, 2222}));

  ASSERT_EQ(invoke(object_, u"rtbeginwrite", DISPATCH_METHOD, {i4(0)}, nullptr), S_OK);
  ASSERT_EQ(onMachine(u"readrefertable", u"5"), S_OK);
  EXPECT_EQ(getLong(u"errorcode"), 0);
  ASSERT_GE(getLong(u"rtrows"), 2);
  ASSERT_EQ(invoke(object_, u"moverecord", DISPATCH_METHOD, {i4(2), i4(2)}, nullptr), S_OK);
  EXPECT_EQ(getLong(u"rtemployeeid"), 22);
  EXPECT_EQ(getLong(u"rtcardid"), 2222);
}

TEST_F(EndToEnd, TerminalErrorShowsOnlyInErrorcode) {
  // Nothing answers at address 9: the call itself succeeds.
  EXPECT_EQ(onMachine(u"cleardata", u"9"), S_OK);
  EXPECT_NE(getLong(u"errorcode"), 0);
  EXPECT_FALSE(getText(u"errormessage").empty());
  EXPECT_FALSE(line_.portOpen());
}

}  // namespace
}  // namespace mvcomm::component::testing
