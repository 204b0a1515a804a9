// Fixed structures: bytes of the requests on the wire, readers against hand-laid bytes at the
// protocol's offsets, text fields, short and foreign input, and TakeStruct's consumption.
#include "link/fixedstructs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/byteorder.h"
#include "link/channelcmd.h"
#include "link/codec_test_support.h"
#include "util/error.h"

namespace corvid {
namespace {

using testing::Bytes;

template <std::size_t N>
Bytes ToVector(const FixedBytes<N>& bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

// `size` zero bytes with `id` in byte 0.
Bytes Blank(std::uint8_t id, std::size_t size) {
  Bytes b(size, 0);
  b[0] = id;
  return b;
}

void PutText(Bytes& b, std::size_t offset, const std::string& text) {
  std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
}

using testing::ErrorOf;

TEST(FixedStructs, RequestsOnTheWire) {
  // Registration of login CFG with an empty password.
  Bytes registration{42, 4, 'C', 'F', 'G'};
  registration.resize(2 + 40 + 20, 0);
  registration.insert(registration.end(), {2, 2, 5, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ToVector(SRegistrationRequest{"CFG", "", 2, 2}.Encode()), registration);

  Bytes level4 = Blank(33, 49);
  level4[7] = 2;
  EXPECT_EQ(ToVector(SConfigRequestA4{}.Encode()), level4);
  EXPECT_EQ(ToVector(SConfigRequestA1{}.Encode()), (Bytes{3}));
  EXPECT_EQ(ToVector(SConfigRequestA2{}.Encode()), (Bytes{4, 0, 0}));
  EXPECT_EQ(ToVector(SConfigRequestA3{}.Encode()), (Bytes{5, 0, 0, 0, 0}));
  EXPECT_EQ(ToVector(SStateRequest{}.Encode()), (Bytes{13}));
  EXPECT_EQ(ToVector(SLinkTest{}.Encode()), (Bytes{18}));
}

TEST(FixedStructs, RegistrationTextsAreCutToTheirFields) {
  SRegistrationRequest request;
  request.Login = std::string(45, 'L');
  request.Password = "пароль-длиннее-двадцати-букв";
  request.VersionMajor = 7;
  request.VersionMinor = 9;
  const auto b = request.Encode();
  EXPECT_EQ(std::string(b.begin() + 2, b.begin() + 41), std::string(39, 'L'));
  EXPECT_EQ(b[41], 0);     // the NUL fits in the field
  EXPECT_EQ(b[42], 0xEF);  // "п" in windows-1251
  EXPECT_EQ(b[61], 0);
  EXPECT_EQ(b[62], 7);
  EXPECT_EQ(b[63], 9);
  EXPECT_EQ(b[64], 5);
  const auto back = SRegistrationRequest::Decode(b);
  EXPECT_EQ(back.Login, std::string(39, 'L'));
  EXPECT_EQ(back.Password, "пароль-длиннее-двад");
}

TEST(FixedStructs, ReadersTakeTheProtocolOffsets) {
  Bytes answer = Blank(43, 25);
  wire::PutI32(&answer[1], -1);
  wire::PutDouble(&answer[6], 42000.25);
  answer[14] = 4;
  answer[15] = 10;
  answer[20] = 4;
  wire::PutI16(&answer[21], -180);
  answer[5] = answer[16] = answer[23] = 0xEE;  // not used
  const auto a = SRegistrationAnswer::Decode(answer);
  EXPECT_EQ(a.ClientId, -1);
  EXPECT_EQ(a.ServerTime, 42000.25);
  EXPECT_EQ(a.ServerMajor, 4);
  EXPECT_EQ(a.ServerMinor, 10);
  EXPECT_EQ(a.Reason, 4);
  EXPECT_EQ(a.UtcBias, -180);

  Bytes state = Blank(20, 41);
  wire::PutI32(&state[1], 123456);
  wire::PutDouble(&state[5], 45000.5);
  wire::PutU16(&state[13], 1);
  wire::PutU16(&state[15], 2);
  wire::PutU16(&state[17], 3);
  wire::PutU16(&state[19], 0xFFFE);
  state[21] = 9;
  state[22] = 5;
  for (int i = 0; i < 16; ++i)
    state[23 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
  state[39] = 0xA1;
  state[40] = 0xB2;
  const auto s = SStateRecord::Decode(state);
  EXPECT_EQ(s.Id, 123456);
  EXPECT_EQ(s.Time, 45000.5);
  EXPECT_EQ(s.A1, 1);
  EXPECT_EQ(s.A2, 2);
  EXPECT_EQ(s.A3, 3);
  EXPECT_EQ(s.A4, 0xFFFE);
  EXPECT_EQ(s.DType, 9);
  EXPECT_EQ(s.State, 5);
  EXPECT_EQ(s.Val[0], 1);
  EXPECT_EQ(s.Val[15], 16);
  EXPECT_EQ(s.Extra39, 0xA1);
  EXPECT_EQ(s.Extra40, 0xB2);
  EXPECT_EQ(ToVector(s.Encode()), state);

  Bytes a4 = Blank(34, 106);
  wire::PutU16(&a4[1], 10);
  wire::PutU16(&a4[3], 20);
  wire::PutU16(&a4[5], 30);
  wire::PutU16(&a4[7], 40);
  a4[9] = 21;
  wire::PutU32(&a4[10], 0x01000007);
  PutText(a4, 18, "\xD2\xE5\xEF\xEB\xEE.T1");  // "Тепло.T1"
  const auto c = SConfigA4::Decode(a4);
  EXPECT_EQ(c.A1, 10);
  EXPECT_EQ(c.A4, 40);
  EXPECT_EQ(c.DType, 21);
  EXPECT_EQ(c.SystemId, 0x01000007u);
  EXPECT_EQ(c.Name, "Тепло.T1");
  EXPECT_EQ(ToVector(c.Encode()), a4);

  Bytes time = Blank(22, 15);
  wire::PutDouble(&time[1], 44000.75);
  wire::PutI16(&time[9], 120);
  const auto t = SServerTime::Decode(time);
  EXPECT_EQ(t.Time, 44000.75);
  EXPECT_EQ(t.UtcBias, 120);
  EXPECT_EQ(ToVector(t.Encode()), time);

  Bytes changed = Blank(40, 20);
  changed[1] = 0x0A;
  wire::PutDouble(&changed[2], 43000.0);
  wire::PutI32(&changed[10], -7);
  const auto ch = SConfigChanged::Decode(changed);
  EXPECT_EQ(ch.Levels, 0x0A);
  EXPECT_EQ(ch.Time, 43000.0);
  EXPECT_EQ(ch.Id, -7);
  EXPECT_EQ(ToVector(ch.Encode()), changed);

  // A status whose byte 5 is 18 and error code 0 acknowledges the link test.
  Bytes status = Blank(100, 13);
  status[5] = 18;
  const auto st = SStatus::Decode(status);
  EXPECT_EQ(st.CommandId, 18);
  EXPECT_EQ(st.ErrorCode, 0);
  wire::PutU16(&status[1], 0x0203);
  EXPECT_EQ(SStatus::Decode(status).ErrorCode, 0x0203);
  EXPECT_EQ(ToVector(SStatus{0x0203, 18}.Encode()), status);
}

TEST(FixedStructs, LevelRecords) {
  Bytes r1 = Blank(7, 53);
  wire::PutU16(&r1[1], 0x1234);
  PutText(r1, 3, "Boiler");
  const auto a1 = SConfigA1::Decode(r1);
  EXPECT_EQ(a1.A1, 0x1234);
  EXPECT_EQ(a1.Name, "Boiler");
  EXPECT_EQ(ToVector(a1.Encode()), r1);

  Bytes r2 = Blank(8, 55);
  wire::PutU16(&r2[1], 1);
  wire::PutU16(&r2[3], 2);
  PutText(r2, 5, "Floor");
  const auto a2 = SConfigA2::Decode(r2);
  EXPECT_EQ(a2.A2, 2);
  EXPECT_EQ(a2.Name, "Floor");
  EXPECT_EQ(ToVector(a2.Encode()), r2);

  Bytes r3 = Blank(9, 57);
  wire::PutU16(&r3[1], 1);
  wire::PutU16(&r3[3], 2);
  wire::PutU16(&r3[5], 3);
  PutText(r3, 7, "Room");
  const auto a3 = SConfigA3::Decode(r3);
  EXPECT_EQ(a3.A3, 3);
  EXPECT_EQ(a3.Name, "Room");
  EXPECT_EQ(ToVector(a3.Encode()), r3);
}

TEST(FixedStructs, NameFieldWithoutNul) {
  // 50 name bytes without a NUL, and a non-zero byte right behind the field: the name ends with
  // the field.
  Bytes r1 = Blank(7, 53);
  std::fill(r1.begin() + 3, r1.end(), 'N');
  r1.push_back('X');
  EXPECT_EQ(SConfigA1::Decode(r1).Name, std::string(50, 'N'));
  // A name too long for its field is cut to 49 characters and a NUL.
  const auto b = SConfigA1{1, std::string(60, 'n')}.Encode();
  EXPECT_EQ(std::string(b.begin() + 3, b.begin() + 52), std::string(49, 'n'));
  EXPECT_EQ(b[52], 0);
  const auto c4 = SConfigA4{1, 1, 1, 1, 1, 0, std::string(100, 'z')}.Encode();
  EXPECT_EQ(c4[104], 'z');
  EXPECT_EQ(c4[105], 0);
}

TEST(FixedStructs, ShortAndForeignInput) {
  const Bytes state = ToVector(SStateRecord{}.Encode());
  const Bytes cut(state.begin(), state.end() - 1);
  EXPECT_EQ(ErrorOf([&] { SStateRecord::Decode(cut); }),
            "SStateRecord::Decode() нет данных [ожидаем 41 есть 40]");
  EXPECT_EQ(ErrorOf([&] {
              SRegistrationAnswer::Decode(Bytes{43, 1, 2});
            }),
            "SRegistrationAnswer::Decode() нет данных [ожидаем 25 есть 3]");
  EXPECT_EQ(ErrorOf([&] { SLinkTest::Decode(Bytes{}); }),
            "SLinkTest::Decode() нет данных [ожидаем 1 есть 0]");
  EXPECT_EQ(ErrorOf([&] { SStatus::Decode(Blank(43, 25)); }),
            "SStatus::Decode() неверный ID команды 43 (ожидаем 100)");
}

TEST(FixedStructs, TakeStructConsumesExactlyItsSize) {
  TCorvidCmdParser buffer;
  const auto first = SStatus{0, 18}.Encode();
  const auto second = SServerTime{44000.0, 60}.Encode();
  buffer.Add(first.data(), static_cast<std::int32_t>(first.size()));
  buffer.Add(second.data(), 5);  // the next command only partly arrived
  EXPECT_EQ(TakeStruct<SStatus>(buffer).CommandId, 18);
  EXPECT_EQ(buffer.Count(), 5);
  EXPECT_EQ(ErrorOf([&] { TakeStruct<SServerTime>(buffer); }),
            "SServerTime::Decode() нет данных [ожидаем 15 есть 5]");
  EXPECT_EQ(buffer.Count(), 5);
  buffer.Add(second.data() + 5, 10);
  EXPECT_EQ(TakeStruct<SServerTime>(buffer).UtcBias, 60);
  EXPECT_EQ(buffer.Count(), 0);
  EXPECT_THROW(TakeStruct<SLinkTest>(buffer), Exception);
}

template <class R>
void ExpectFramingSize() {
  EXPECT_EQ(StructSize(R::kId), static_cast<std::int32_t>(R::kSize)) << int{R::kId};
}
template <class... R>
void ExpectFramingSizes() {
  (ExpectFramingSize<R>(), ...);
}

TEST(FixedStructs, SizesMatchTheFramingTable) {
  ExpectFramingSizes<SRegistrationRequest, SRegistrationAnswer, SConfigRequestA1, SConfigRequestA2,
                     SConfigRequestA3, SConfigRequestA4, SStateRequest, SLinkTest, SConfigA1,
                     SConfigA2, SConfigA3, SConfigA4, SStateRecord, SServerTime, SConfigChanged,
                     SStatus>();
}

}  // namespace
}  // namespace corvid
