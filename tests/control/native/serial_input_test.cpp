// A serial scanner's bytes to labels and input errors, without a port.
#include "control/core/opos.h"
#include "control/services/serial_input.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace quillon;
using namespace quillon::control;

class Sink final : public IServiceSink {
public:
  bool OnLabel(Label label) override {
    labels.push_back(std::move(label));
    return true;
  }
  void OnPowerState(long) override {}
  bool OnInputError(long code, long extended) override {
    errors.push_back({code, extended});
    return true;
  }
  bool OnStatusUpdate(long) override { return true; }
  bool OnDirectIOEvent(long, long, std::wstring) override { return true; }
  bool InputEnabled() override { return true; }
  std::vector<Label> labels;
  std::vector<std::pair<long, long>> errors;
};

SerialSettings Settings(bool aimIds) {
  SerialSettings s;
  s.suffix = aim::Suffix::CR;
  s.aimIds = aimIds;
  s.labelTimeout = 300;
  return s;
}

TEST(SerialInput, LabelsAreDecodedOnlyWithAimIdentifiers) {
  for (const bool aimIds : {true, false}) {
    Sink sink;
    SerialInput input(Settings(aimIds), sink);
    input.Bytes("]E04006381333931\r]", 0);
    input.Bytes("A0CODE39\r", 1);
    ASSERT_EQ(2u, sink.labels.size());
    EXPECT_EQ("]E04006381333931", sink.labels[0].raw);
    EXPECT_EQ(aimIds ? "4006381333931" : "]E04006381333931", sink.labels[0].data);
    EXPECT_EQ(aimIds ? 104 : 0, sink.labels[0].type);
    EXPECT_EQ(aimIds ? 108 : 0, sink.labels[1].type);
  }
}

TEST(SerialInput, ALabelWithoutSuffixIsCutAfterTheTimeout) {
  Sink sink;
  SerialInput input(Settings(true), sink);
  input.Bytes("]E496385074\r]E0400", 1000);
  input.Idle(1299);
  EXPECT_TRUE(sink.errors.empty()) << "not yet";
  input.Idle(1300);
  ASSERT_EQ(1u, sink.errors.size());
  EXPECT_EQ(std::make_pair(112L, 6L), sink.errors[0]) << "time-out, six bytes dropped";
  input.Bytes("]E001234565\r", 2000);
  ASSERT_EQ(2u, sink.labels.size());
  EXPECT_EQ(102, sink.labels[1].type);
  input.Idle(9000);
  EXPECT_EQ(1u, sink.errors.size()) << "nothing pending, nothing cut";
}

TEST(SerialInput, LineErrorsOverrunsAndALostPort) {
  Sink sink;
  SerialInput input(Settings(false), sink);
  input.LineErrors(kLineFrame | 0x100);
  input.LineErrors(0x100); // not an error bit of the line
  input.Bytes(std::string(aim::Framer::kMaxLabel + 1, 'x') + "\rAB", 0);
  input.Lost();
  input.Lost();
  ASSERT_EQ(3u, sink.errors.size());
  EXPECT_EQ(std::make_pair(opos::E_FAILURE, kLineFrame), sink.errors[0]);
  EXPECT_EQ(std::make_pair(opos::E_FAILURE, kLineRxOver), sink.errors[1]);
  EXPECT_EQ(std::make_pair(opos::E_TIMEOUT, 2L), sink.errors[2]) << "the label begun is lost with the port";
  EXPECT_TRUE(sink.labels.empty());
}

TEST(SerialSettings, ValuesAndTheirRefusals) {
  ServiceConfig config;
  config.texts = {{L"Port", L"com7"}, {L"Parity", L"even"}, {L"StopBits", L"2"}, {L"Suffix", L"crlf"}};
  config.numbers = {{L"BaudRate", 115200}, {L"DataBits", 7}, {L"AimIds", 1}};
  SerialSettings s;
  std::wstring problem;
  ASSERT_TRUE(ParseSerialSettings(config, s, problem)) << std::string(problem.begin(), problem.end());
  EXPECT_EQ(L"COM7 115200 7E2", s.LineText());
  EXPECT_EQ(aim::Suffix::CRLF, s.suffix);
  EXPECT_TRUE(s.aimIds);
  const std::pair<const wchar_t *, const wchar_t *> bad[] = {
      {L"Port", L"LPT1"},    {L"Port", L"COM0"},     {L"Port", L"COM256"}, {L"Port", L"COM7x"},
      {L"BaudRate", L"0"},   {L"BaudRate", L"fast"}, {L"DataBits", L"9"},  {L"Parity", L"X"},
      {L"StopBits", L"1.5"}, {L"Suffix", L"TAB"},    {L"AimIds", L"2"},    {L"LabelTimeout", L"5"},
  };
  for (const auto &[name, value] : bad) {
    ServiceConfig c = config;
    c.numbers.erase(name);
    c.texts[name] = value;
    EXPECT_FALSE(ParseSerialSettings(c, s, problem)) << name << "=" << value;
    EXPECT_FALSE(problem.empty());
  }
}

} // namespace
